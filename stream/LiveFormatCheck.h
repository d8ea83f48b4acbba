#pragma once
// The parsing thread's look at a live stream's format and byte order: the first bytes of each
// connection, copied out of the ring before they are parsed, and the frame rate, measured by
// the frame numbers over 2 s after the first 0.5 s of frames. One verdict per start of the
// parsing thread.
//
// Threads: the parsing thread's alone. It allocates its byte sample once, when it is made;
// nothing on the per-frame path allocates.
#include "stream/Clock.h"
#include "stream/FormatCheck.h"
#include "stream/ReceiveRing.h"

#include <cstdint>
#include <memory>

namespace vintrel {

constexpr uint32_t kRateSettleMs = 500;     // frames of the first half second are not timed
constexpr uint32_t kRateWindowMs = 2000;    // the frame rate is measured over this long
constexpr uint32_t kVerdictLatestMs = 3000; // no frame taken: the bytes alone decide after this
// Round ends timed within the window, at most; more are not kept.
constexpr uint32_t kRatePoints = 4096;
constexpr uint32_t kFormatSampleBytes = 65536;

class LiveFormatCheck {
public:
    LiveFormatCheck();

    // A new parsing thread starts looking.
    void Start();
    // Copies the bytes that arrived since the last call (until the sample is full).
    void SeeBytes(const ReceiveRing& ring, uint32_t now);
    // A frame was taken; its number says how many the target sent since the previous one.
    void SeeFrame(int64_t frameNum);
    // After a round (silent false) or a wait that ran out (silent true): true, once, when the
    // verdict is due; `out` then holds it (it may say that all is well).
    bool Due(uint32_t now, bool silent, bool bigEndian, DataStreamFormat chosen, FormatFinding& out);

private:
    std::unique_ptr<uint8_t[]> sample_;
    uint32_t sampleLen_ = 0;
    uint32_t next_ = 0; // ring position of the next byte to copy
    bool haveBytes_ = false, haveFrame_ = false, frameTimed_ = false, timing_ = false, done_ = false;
    uint32_t firstBytes_ = 0, firstFrame_ = 0, timingStart_ = 0;
    uint16_t lastNum_ = 0;
    uint32_t steps_ = 0, stepsAtStart_ = 0;
    // The round ends of the window: frames since its start, and ms since its start.
    std::unique_ptr<uint32_t[]> pointSteps_, pointMs_;
    uint32_t points_ = 0;
};

} // namespace vintrel

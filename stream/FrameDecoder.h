#pragma once
// Copies whole frames out of the receive ring into the 48 frame buffers and decodes them into
// per-frame records; assembles the target's profile from its chunks.
//
// Threads: everything here runs in the parsing thread, except InitEveryFrInfo and the direct
// scarce-data reset, which the window makes while no parsing thread runs. While one runs, the
// window asks for the reset with RequestScarceDataInit and the parser makes it before its next
// frame. The profile tables are atomics so the window can read them at any time; the target
// information strings are published under a lock when they change.
#include "stream/FrameRecord.h"
#include "stream/MessageSink.h"
#include "stream/ReceiveRing.h"
#include "stream/TagModel.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

namespace vintrel {

struct DecoderSettings {
    std::atomic<bool> BigEndian{false};
    std::atomic<bool> VerifyChecksum{true};
    std::atomic<int> ChannLenWords{32};
};

enum : int { kDecodeOk = 0, kDecodeBadTag = -1, kDecodeBadChecksum = -2 };

class FrameDecoder {
public:
    FrameDecoder(TagModel& tags, DecoderSettings& settings, MessageSink* sink);

    using FrameBuffer = std::array<int16_t, kFrameBufWords>;
    // 48 x 128 KiB: allocated once with the decoder.
    std::unique_ptr<std::array<FrameBuffer, kFrameBuffers>> Buf;
    std::array<TNewProtHeaderEveryFrameData, kFrameBuffers> HeaderEveryFrInfo;

    std::array<std::atomic<int16_t>, kPskTabWords> PskTab{};
    std::array<std::atomic<int16_t>, kPskTabWords> LastPsk{};
    std::atomic<int32_t> CheckPsk{0};
    std::atomic<bool> CanCalculateDelay{false};
    // The parsing thread's own; other threads read ScarceDataCopy().
    TNewProtHeaderScarceData NewProtHeaderScarceData;

    void CopyAndSwap(const ReceiveRing& ring, uint32_t bytes, int FrameBufN);
    int ParseNewProtocolFrame(int size_words, int FrameBufN);
    // The last new-protocol frame had a tag that could not be taken (unknown, or a chunk other
    // than samples that runs into the checksum), also when its result is the checksum error.
    bool LastFrameHadBadTag() const { return lastBadTag_; }
    // The last new-protocol frame had a sample chunk whose count runs past the frame. It was
    // decoded with the samples the frame holds, and the walk ended there.
    bool LastFrameHadMalformedChunk() const { return lastMalformed_; }
    int ParseOldProtocolFrame(int size_words, int FrameBufN, int oldProtCH);
    void NewProtParseChunk(int ChunkLenWords, int ChunkNo, int WordsLeftToSend, int FrameBufN,
                           int DataIndexInBuf);
    // The target-information chunk: platform, profile number and revision.
    void TargetInfo(uint16_t info, int16_t revision);
    void NewProtHeaderScarceDataInit();
    void NewProtHeaderScarceDataCopyClean();
    void InitEveryFrInfo();
    void RequestScarceDataInit() { scarceInitRequested_ = true; }

    // Copies for other threads.
    TNewProtHeaderScarceData ScarceDataCopy() const;
    std::string StatString() const;

    uint16_t Word(int FrameBufN, int i) const { return static_cast<uint16_t>((*Buf)[FrameBufN][i]); }
    int16_t* WordPtr(int FrameBufN, int i) { return &(*Buf)[FrameBufN][i]; }

private:
    // A profile transmission starts again (a chunk was lost or it overran the table); the target
    // information stays.
    void RestartProfileCollection();
    void ResetRecord(TNewProtHeaderEveryFrameData& r, bool newProt);
    void ApplyPendingInit();
    void Publish();

    TagModel& tags_;
    DecoderSettings& settings_;
    MessageSink* sink_;
    std::atomic<bool> scarceInitRequested_{false};
    mutable std::mutex infoMutex_; // guards the published copy and StatString
    TNewProtHeaderScarceData published_;
    std::string statString_;
    std::string postedStat_; // the last StatString sent to the status line; parsing thread only
    int lastInfo_ = -1, lastRevision_ = 0;
    bool lastBadTag_ = false;
    bool lastMalformed_ = false;
};

} // namespace vintrel

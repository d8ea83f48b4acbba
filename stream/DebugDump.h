#pragma once
// The debug dump of the command-line switches "-d" and "-dbe": every block read from the
// transport ("ROtemp.$$$.bin", with begin and end marks that tell the transport state under
// "-dbe"), a record per RUNNING read ("ReadIndx.$$$.bin") and a record per parsed frame
// ("ParseIndx.$$$.bin"), all in the folder Open is given.
//
// Threads: the raw dump and read log are written by the transport thread, the parse log by the
// parsing thread; each file has one writer. The window opens the files before the transport
// thread starts and closes them after it has ended.
#include "stream/FrameExtractor.h"
#include "stream/QueueProbe.h"
#include "stream/ReceiveRing.h"
#include "stream/TransportLoopListener.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <string>

namespace vintrel {

class DebugDump : public ReadObserver, public FrameConsumer, public TransportLoopListener {
public:
    static constexpr const char* kRawDumpFile = "ROtemp.$$$.bin";
    static constexpr const char* kReadLogFile = "ReadIndx.$$$.bin";
    static constexpr const char* kParseLogFile = "ParseIndx.$$$.bin";

    // queue: the listening queue whose head and tail the parse log gives (none: 0).
    explicit DebugDump(const StreamState& s, const QueueProbe* queue = nullptr) : s_(s), queue_(queue) {}
    ~DebugDump() override { Close(); }

    // Creates the three files in `folder`; false with the reason when one cannot be created.
    bool Open(const std::string& folder, bool marks, std::string& error);
    void Close();
    bool IsOpen() const { return raw_ != nullptr; }

    // Transport thread: the state (0-3) of the current pass; sets the marks.
    void SetState(int state);
    void OnPassState(int state) override { SetState(state); }
    void OnBlockRead(const uint8_t* data, uint32_t len, uint32_t markLen) override;
    void OnReadLog(const uint32_t (&bufCopy)[4]) override;
    // Parsing thread: one record per frame.
    void OnFrame(const DecodedFrame& f) override;

    // FrameBE: words 0-31 the begin mark, 32-63 the end mark.
    const std::array<uint16_t, 64>& FrameBE() const { return frameBE_; }

private:
    const StreamState& s_;
    const QueueProbe* queue_;
    bool marks_ = false;
    std::FILE* raw_ = nullptr;
    std::FILE* readLog_ = nullptr;
    std::FILE* parseLog_ = nullptr;
    std::array<uint16_t, 64> frameBE_{};
};

} // namespace vintrel

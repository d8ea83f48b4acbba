#pragma once
// The simulator's own account of what it sent (--log FILE), for comparing a receiver's counters
// with the damage that really reached it. One line per event, written and flushed as it happens,
// words of the form key=value after a leading keyword:
//
//   begin t=T to=DESTINATION protocol=new|old format=SHORT byte-order=little|big seed=N
//   connect n=N t=T peer=ADDRESS frame=COUNTER offset=BYTES
//   end n=N t=T frames=N bytes=N cut=N unacked=N unsent=N how=dropped|ended|gone|stopped|failed COUNTS
//   total t=T generated=N bytes=N COUNTS
//
// t is CLOCK_MONOTONIC in seconds. `offset` is the position in the generated stream (the bytes
// `--output -` writes for the same options) where the connection's bytes begin; a connection
// carries the next `bytes` bytes of it. `cut` of them belong to a frame (or the garbage before
// it) that went out only in part. When a dropped connection was reset, `unacked` of the bytes
// were not acknowledged by the peer yet and may be lost; `unsent` of those had not even been
// transmitted, so the peer never got them. COUNTS are the damage of the frames sent
// whole: sent-frames, bad-checksums, skipped, garbage-bursts, garbage-bytes, unknown-tags,
// damaged (frames with a bad checksum, an unknown tag or both).
#include <cstdint>
#include <cstdio>
#include <string>

#include "sim/StreamPump.h"

namespace vintrel::sim {

class SimLog {
public:
    SimLog() = default;
    ~SimLog();
    SimLog(const SimLog&) = delete;
    SimLog& operator=(const SimLog&) = delete;

    // An empty path leaves the log closed: every call below then does nothing.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return file_ != nullptr; }

    void Begin(const std::string& destination, const StreamConfig& config);
    void Connect(uint64_t n, const std::string& peer, uint32_t counter, uint64_t offset);
    void End(uint64_t n, const PumpResult& r, uint64_t unacked, uint64_t unsent, const char* how);
    void Total(const DamageCounts& generated, const DamageCounts& sent, uint64_t bytes);

    // The key=value words of the damage sent.
    static std::string CountsText(const DamageCounts& sent);

private:
    void Line(const std::string& text);

    std::FILE* file_ = nullptr;
};

// How a pump ended, in the log's words: "dropped" is for the caller to say.
const char* PumpEndWord(PumpEnd end);

} // namespace vintrel::sim

#pragma once
// A target on loopback that keeps one stream going across its clients, in real time: frame k
// goes out one frame period after frame k - 1. The numbering continues from one connection to
// the next: each client gets the stream from the first frame the last one did not. A script
// pauses the sender with the connection open, at a frame boundary or in the middle of a frame,
// and closes connections in order after given frames. One client at a time.
#include "sim/StreamGenerator.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vintrel::test {

class ScriptedTarget {
public:
    struct Pause {
        size_t AfterFrame; // the pause follows this frame (or the first half of the next one)
        int Ms;
        bool MidFrame = false;
    };
    struct Script {
        std::vector<uint8_t> Bytes;
        std::vector<size_t> FrameStarts; // offset of each frame in Bytes
        double PeriodMs = 0;             // 0: as fast as the socket takes them
        std::vector<Pause> Pauses;
        std::vector<size_t> CloseAfter; // an orderly close follows each of these frames
    };
    // The simulator's stream of `frames` frames, paced at its frame period.
    static Script FromSimulator(const sim::StreamConfig& config, uint64_t frames);

    explicit ScriptedTarget(Script script);
    ~ScriptedTarget();
    ScriptedTarget(const ScriptedTarget&) = delete;
    ScriptedTarget& operator=(const ScriptedTarget&) = delete;

    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    int Accepted() const { return accepted_.load(); }
    // Whole frames sent so far.
    size_t FramesSent() const { return sent_.load(); }
    const Script& Stream() const { return script_; }

private:
    void Run();
    // Sends frames until the stream ends or a close is due; false when the client went away.
    bool Serve(int fd);
    bool SendAll(int fd, size_t from, size_t to);
    bool Wait(int ms) const;

    Script script_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<size_t> sent_{0};
    std::thread thread_;
};

} // namespace vintrel::test

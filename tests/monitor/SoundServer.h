#pragma once
// A PulseAudio daemon of the test's own: a null sink (8000 samples/s, mono, 16 bits) reachable over a
// socket in a temporary folder, and parec recording the sink's monitor. Started on first use; this
// process then talks to it (PULSE_SERVER), so it must come before anything else opens Qt Multimedia.
#include <string>
#include <sys/types.h>

namespace vintrel::test {

class SoundServer {
public:
    static constexpr const char* kSinkName = "vintrel_null";
    static constexpr const char* kSinkDescription = "Vintrel-Test-Null";

    static SoundServer& Instance();
    ~SoundServer();

    bool Ok() const { return pid_ > 0; }
    const std::string& Why() const { return why_; }
    const std::string& Address() const { return address_; }

    // parec on the sink's monitor, raw samples into `path`; -1 when it cannot start.
    pid_t StartRecording(const std::string& path) const;
    // Ends the recording (SIGINT) and waits for parec.
    static void StopRecording(pid_t pid);

private:
    SoundServer();
    std::string dir_, address_, why_;
    pid_t pid_ = -1;
};

} // namespace vintrel::test

#pragma once
// A raw pseudo-terminal as the target's serial line: the program opens Slave(), the test writes
// the target's bytes to the master side. Closed with the object.
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vintrel::test {

class PseudoTerminal {
public:
    PseudoTerminal() : master_(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = ptsname(master_);
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    ~PseudoTerminal() {
        if (master_ >= 0) ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool Ok() const { return !slave_.empty(); }
    const std::string& Slave() const { return slave_; }
    int Master() const { return master_; }
    // The target's end hangs up: the program's reads of the slave fail from now on.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    // Writes everything, waiting while the line's buffer is full.
    void Write(const std::vector<uint8_t>& bytes) const {
        for (size_t pos = 0; pos < bytes.size();) {
            const ssize_t w = ::write(master_, bytes.data() + pos, bytes.size() - pos);
            if (w > 0)
                pos += size_t(w);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    int master_;
    std::string slave_;
};

} // namespace vintrel::test

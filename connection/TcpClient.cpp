#include "connection/TcpClient.h"

#include "stream/SystemError.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vintrel {

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

void AssignErrno(std::string& errorText, int err) {
    errorText = SystemErrorText(err);
}

bool IsRaised(const CancelSignal* cancel) {
    return cancel && cancel->Raised();
}

// Whole milliseconds to the deadline, rounded up so a poll never ends just short of it.
int64_t MsLeft(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    return left.count() <= 0 ? 0 : std::chrono::ceil<Ms>(left).count();
}

// The socket and the cancel signal (when there is one) for one poll() set.
struct PollPair {
    pollfd Fds[2];
    PollPair(int fd, short events, const CancelSignal* cancel)
        : Fds{{fd, events, 0}, {cancel ? cancel->Fd() : -1, POLLIN, 0}} {}
    // Returns poll's result; EINTR counts as a wait that ended without news.
    int Wait(const CancelSignal* cancel, Clock::time_point deadline) {
        const int ready = poll(Fds, 2, CancelSignal::PollMs(cancel, MsLeft(deadline)));
        if (ready < 0 && errno == EINTR) {
            Fds[0].revents = 0;
            return 0;
        }
        return ready;
    }
};

} // namespace

bool TcpClient::Connect(int timeoutMs, std::string& errorText, const CancelSignal* cancel) {
    Disconnect();
    if (IsRaised(cancel)) {
        errorText.assign("Connection cancelled");
        return false;
    }
    if (Host == kNoHost) {
        errorText.assign("No listener address is chosen");
        return false;
    }
    const auto deadline = Clock::now() + Ms(timeoutMs);
    std::vector<SocketAddress> addresses;
    // The lookup of a name counts against the connect time-out, and never takes more than its own.
    const int lookupMs = int(std::clamp<int64_t>(MsLeft(deadline), 1, kResolveTimeoutMs));
    if (!ResolveHost(Host, Port, false, addresses, errorText, lookupMs, cancel)) return false;

    // Every address the name gives is tried in the system's order until one answers.
    int err = 0;
    std::string tried;
    for (const SocketAddress& a : addresses) {
        tried += (tried.empty() ? "" : ", ") + AddressText(a.Get(), a.Len);
        const int fd = ConnectOne(a, deadline, cancel, err);
        if (fd >= 0) {
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            readTimeoutMs_ = kTcpReadTimeoutMs;
            fd_.store(fd, std::memory_order_release);
            return true;
        }
        if (err == ECANCELED) {
            errorText.assign("Connection cancelled");
            return false;
        }
        if (err == ETIMEDOUT) break; // the time is used up
    }
    // The reason, then where: the address as typed and, for a name, what it stood for.
    errorText = err == ETIMEDOUT ? std::string("Connect timed out.") : SystemErrorText(err);
    const std::string typed = HostPortText(Host, Port);
    errorText += " (" + typed + (tried == typed ? "" : " at " + tried) + ")";
    return false;
}

int TcpClient::ConnectOne(const SocketAddress& a, std::chrono::steady_clock::time_point deadline,
                          const CancelSignal* cancel, int& err) {
    const int fd = socket(a.Family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    err = 0;
    if (connect(fd, a.Get(), a.Len) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            PollPair p(fd, POLLOUT, cancel);
            for (;;) {
                const int ready = p.Wait(cancel, deadline);
                // The socket is still this thread's own: closing it here races with nobody.
                if (IsRaised(cancel)) {
                    err = ECANCELED;
                    break;
                }
                if (ready < 0) {
                    err = errno;
                    break;
                }
                if (p.Fds[0].revents != 0) {
                    socklen_t len = sizeof err;
                    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
                    break;
                }
                if (Clock::now() >= deadline) {
                    err = ETIMEDOUT;
                    break;
                }
            }
        }
    }
    if (err != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void TcpClient::Disconnect() {
    const int fd = fd_.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0) close(fd);
}

TcpReadResult TcpClient::ReadSome(uint8_t* dst, uint32_t len, uint32_t& got, std::string& errorText,
                                  const CancelSignal* cancel) {
    got = 0;
    const int fd = fd_.load(std::memory_order_acquire);
    if (fd < 0) {
        errorText.assign("Not Connected");
        return TcpReadResult::Error;
    }
    if (len == 0) return TcpReadResult::Ok;

    const auto deadline = Clock::now() + Ms(readTimeoutMs_);
    PollPair p(fd, POLLIN, cancel);
    for (;;) {
        if (IsRaised(cancel)) {
            errorText.assign("Read cancelled.");
            return TcpReadResult::Cancelled;
        }
        // What has arrived is taken at once (one call on a busy link); only a silent socket is
        // waited for, together with the cancel. Errors and hang-ups show in recv too.
        const ssize_t n = recv(fd, dst, len, MSG_DONTWAIT);
        if (n > 0) {
            got = uint32_t(n);
            return TcpReadResult::Ok;
        }
        if (n == 0) {
            errorText.assign("Connection Closed Gracefully.");
            Disconnect(); // the stream has ended
            return TcpReadResult::Closed;
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EAGAIN && err != EWOULDBLOCK) {
            AssignErrno(errorText, err);
            return err == ECONNRESET ? TcpReadResult::Reset : TcpReadResult::Error;
        }
        const int ready = p.Wait(cancel, deadline);
        if (ready < 0) {
            AssignErrno(errorText, errno);
            return TcpReadResult::Error;
        }
        if (p.Fds[0].revents == 0 && !IsRaised(cancel) && Clock::now() >= deadline) {
            errorText.assign("Read timed out.");
            return TcpReadResult::TimedOut;
        }
    }
}

uint32_t TcpClient::Pending() const {
    const int fd = fd_.load(std::memory_order_acquire);
    int n = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &n) != 0 || n < 0) return 0;
    return uint32_t(n);
}

} // namespace vintrel

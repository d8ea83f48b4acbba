#include "connection/TcpClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace vintrel {

namespace {

void AssignErrno(std::string& errorText, int err) {
    errorText.assign(std::strerror(err));
}

} // namespace

void TcpClient::SetReadTimeout(int ms) {
    readTimeoutMs_ = ms;
    const int fd = fd_.load(std::memory_order_relaxed);
    if (fd < 0) return;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

bool TcpClient::Connect(int timeoutMs, std::string& errorText) {
    Disconnect();

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(Port);
    if (inet_pton(AF_INET, Host.c_str(), &addr.sin_addr) != 1) {
        errorText = "'" + Host + "' is not a valid IPv4 address";
        return false;
    }

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        AssignErrno(errorText, errno);
        return false;
    }
    int err = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        err = errno;
        if (err == EINPROGRESS) {
            // Wait for the handshake, restarting the wait with what is left after a signal.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            pollfd p{fd, POLLOUT, 0};
            int ready = 0;
            for (;;) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                ready = poll(&p, 1, int(std::max<int64_t>(0, left.count())));
                if (ready >= 0 || errno != EINTR) break;
            }
            if (ready == 0) {
                close(fd);
                errorText = "Connect timed out.";
                return false;
            }
            socklen_t len = sizeof err;
            if (ready < 0)
                err = errno;
            else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                err = errno;
        }
        if (err != 0) {
            close(fd);
            AssignErrno(errorText, err);
            return false;
        }
    }
    // Reads block, bounded by the read time-out.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    fd_.store(fd, std::memory_order_release);
    SetReadTimeout(kTcpReadTimeoutMs);
    return true;
}

void TcpClient::Disconnect() {
    const int fd = fd_.exchange(-1, std::memory_order_acq_rel);
    if (fd >= 0) close(fd);
}

TcpReadResult TcpClient::ReadSome(uint8_t* dst, uint32_t len, uint32_t& got, std::string& errorText) {
    got = 0;
    const int fd = fd_.load(std::memory_order_acquire);
    if (fd < 0) {
        errorText.assign("Not Connected");
        return TcpReadResult::Error;
    }
    uint32_t have = 0;

    TcpReadResult result = TcpReadResult::Ok;
    while (have == 0 && len > 0) {
        const ssize_t n = recv(fd, dst, len, 0);
        if (n > 0) {
            have = uint32_t(n);
            break;
        }
        if (n == 0) {
            result = TcpReadResult::Closed;
            errorText.assign("Connection Closed Gracefully.");
            break;
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            result = TcpReadResult::TimedOut;
            errorText.assign("Read timed out.");
        } else if (err == ECONNRESET) {
            result = TcpReadResult::Reset;
            AssignErrno(errorText, err);
        } else {
            result = TcpReadResult::Error;
            AssignErrno(errorText, err);
        }
        break;
    }
    got = have;
    if (result == TcpReadResult::Closed) Disconnect(); // the stream has ended
    return result;
}

uint32_t TcpClient::Pending() const {
    const int fd = fd_.load(std::memory_order_acquire);
    int n = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &n) != 0 || n < 0) return 0;
    return uint32_t(n);
}

} // namespace vintrel

#pragma once
// Plain loopback sockets for the connection tests: a listener on 127.0.0.1 (any free port)
// and small blocking helpers. Every wait is bounded.
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vintrel::test {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        std::swap(fd_, o.fd_);
        return *this;
    }
    ~Fd() { Reset(); }
    int Get() const { return fd_; }
    void Reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

inline sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

inline uint16_t LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// Whether this machine can listen on the IPv6 loopback at all (some containers have no IPv6).
inline bool HaveIPv6Loopback() {
    Fd fd(socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    return fd.Get() >= 0 && bind(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 8) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in a = Loopback(0);
        bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
        listen(fd_.Get(), backlog);
        port_ = LocalPort(fd_.Get());
    }
    uint16_t Port() const { return port_; }
    void Close() { fd_.Reset(); }
    // The next connection, or an invalid Fd when none came within timeoutMs.
    Fd Accept(int timeoutMs = 2000) {
        pollfd p{fd_.Get(), POLLIN, 0};
        return Fd(poll(&p, 1, timeoutMs) == 1 ? accept(fd_.Get(), nullptr, nullptr) : -1);
    }

private:
    Fd fd_;
    uint16_t port_ = 0;
};

// rcvBuf > 0 keeps the client's receive window small from the start.
inline Fd ConnectLoopback(uint16_t port, int rcvBuf = 0) {
    Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (rcvBuf > 0) setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &rcvBuf, sizeof rcvBuf);
    const sockaddr_in a = Loopback(port);
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) fd.Reset();
    return fd;
}

// Fills the accept queue of a listener made with backlog 0: one connection that is never
// accepted, and for kernels that admit one more, a second whose handshake is left pending. While
// the queue is full the kernel drops new SYNs, so further connects hang (the client retries for
// seconds), all on loopback.
struct FullAcceptQueue {
    explicit FullAcceptQueue(uint16_t port)
        : Queued(ConnectLoopback(port)),
          Pending(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
        const sockaddr_in a = Loopback(port);
        connect(Pending.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a);
    }
    Fd Queued, Pending;
};

inline bool WriteAll(int fd, const uint8_t* p, size_t n) {
    for (ssize_t k; n > 0; p += k, n -= size_t(k))
        if ((k = send(fd, p, n, MSG_NOSIGNAL)) <= 0) return false;
    return true;
}

// Closes with an RST instead of an orderly shutdown.
inline void ResetAndClose(Fd& fd) {
    const linger l{1, 0};
    setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    fd.Reset();
}

// Appends what arrives until the peer closes (true) or nothing comes for idleMs (false).
inline bool ReadUntilClosed(int fd, std::vector<uint8_t>& out, int idleMs) {
    uint8_t buf[65536];
    for (ssize_t n;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, idleMs) != 1) return false;
        if ((n = recv(fd, buf, sizeof buf, 0)) <= 0) return true;
        out.insert(out.end(), buf, buf + n);
    }
}

// How long a cancelled transport may take to give its thread back, on a loaded machine too.
inline constexpr std::chrono::milliseconds kCancelBound{200};

// Runs `blocked` (a wait that only a cancel ends) on its own thread; once that thread is inside
// it (`inside` waits for that), runs `cancel` and returns how long `blocked` took to return
// after it. Callers check what `blocked` returned: a wait that ended early shows there.
template <typename Blocked, typename Inside, typename Cancel>
std::chrono::milliseconds ReturnAfterCancel(Blocked&& blocked, Inside&& inside, Cancel&& cancel) {
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> started{false};
    Clock::time_point returned;
    std::thread t([&] {
        started = true;
        blocked();
        returned = Clock::now();
    });
    while (!started) std::this_thread::yield();
    inside();
    const auto raised = Clock::now();
    cancel();
    t.join();
    return std::chrono::duration_cast<std::chrono::milliseconds>(returned - raised);
}

// An `inside` for waits that begin as soon as their thread runs.
inline void LetItBlock() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return v;
}

} // namespace vintrel::test

#include "connection/ForwardServer.h"

#include "connection/HostResolver.h"
#include "stream/SystemError.h"
#include "stream/Text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vintrel {

namespace {

constexpr uint32_t kSendChunk = 65536;
// An idle client thread looks at its peer this often; a waiting send at its lag.
constexpr std::chrono::milliseconds kIdleCheck{100};
constexpr int kSendWaitMs = 20;
// What a client is still owed when the server stops is sent within this time; a client that
// does not take it is closed then.
constexpr std::chrono::milliseconds kStopDrain{200};

int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The client has closed its side or the connection is gone. A forwarding client has nothing to
// say; whatever it sends anyway is read and dropped.
bool PeerGone(int fd) {
    pollfd p{fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLRDHUP | POLLNVAL)) return true;
    uint8_t junk[512];
    for (;;) {
        const ssize_t n = recv(fd, junk, sizeof junk, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) return true;
        return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    }
}

} // namespace

ForwardServer::ForwardServer(MessageSink& sink)
    : sink_(sink), TCPIPCyclicBufByte(std::make_unique<uint8_t[]>(kForwardRingBytes)) {}

ForwardServer::~ForwardServer() {
    Stop();
}

int ForwardServer::Clients() const {
    std::lock_guard lk(clientsMutex_);
    return int(
        std::count_if(clients_.begin(), clients_.end(), [](const auto& c) { return !c->Done.load(); }));
}

bool ForwardServer::Start(const std::string& bindAddress, std::string_view portText, std::string& errorText) {
    Stop();
    errorText.clear();

    const std::optional<int32_t> port = ParseDecimal<int32_t>(TrimBlanks(portText));
    if (!port) return false;
    if (*port < 0 || *port > 65535) {
        errorText = "Port " + std::to_string(*port) + " is out of range";
        return false;
    }
    std::string_view host = TrimBlanks(bindAddress);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    std::vector<SocketAddress> addresses;
    if (!ResolveHost(std::string(host), uint16_t(*port), true, addresses, errorText)) return false;
    const std::string where = HostPortText(host, uint16_t(*port));

    // The first of the name's addresses that takes the listener.
    int fd = -1;
    for (const SocketAddress& a : addresses) {
        fd = socket(a.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            const int err = errno;
            errorText = "Could not bind " + where + ": " + SystemErrorText(err);
            continue;
        }
        // A restart on the same port must not wait for the old connections' TIME_WAIT; a port
        // with a live listener still refuses the bind.
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, a.Get(), a.Len) == 0 && listen(fd, 16) == 0) break;
        const int err = errno;
        errorText = "Could not bind " + where + ": " + SystemErrorText(err);
        close(fd);
        fd = -1;
    }
    if (fd < 0) return false;
    errorText.clear();
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) {
        errorText = SystemErrorText(errno);
        close(fd);
        return false;
    }

    listenFd_ = fd;
    wakeFd_ = wake;
    boundPort_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                                   : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    {
        std::lock_guard lk(ringMutex_);
        inTotal_.store(0, std::memory_order_release);
        stopping_ = false;
    }
    drainUntilNs_.store(0, std::memory_order_release);
    active_.store(true, std::memory_order_release);
    acceptThread_ = std::thread(&ForwardServer::AcceptLoop, this);
    return true;
}

void ForwardServer::Stop() {
    active_.store(false, std::memory_order_release);
    drainUntilNs_.store(SteadyNs() + std::chrono::nanoseconds(kStopDrain).count(), std::memory_order_release);
    {
        std::lock_guard lk(ringMutex_);
        stopping_ = true;
    }
    dataArrived_.notify_all();
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(wakeFd_, &one, sizeof one);
    }
    if (acceptThread_.joinable()) acceptThread_.join();

    std::list<std::unique_ptr<Client>> clients;
    {
        std::lock_guard lk(clientsMutex_);
        clients.swap(clients_);
    }
    for (auto& c : clients) {
        if (c->Thread.joinable()) c->Thread.join();
    }
    if (listenFd_ >= 0) close(listenFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
    listenFd_ = -1;
    wakeFd_ = -1;
    boundPort_ = 0;
}

void ForwardServer::OnBlockRead(const uint8_t* data, uint32_t len, uint32_t /*markLen*/) {
    if (len == 0 || !active_.load(std::memory_order_acquire)) return;
    {
        std::lock_guard lk(ringMutex_);
        if (stopping_) return;
        const uint64_t total = inTotal_.load(std::memory_order_relaxed);
        // Only the newest kForwardRingUsed bytes of an oversized block can be kept.
        const uint32_t skip = len > kForwardRingUsed ? len - kForwardRingUsed : 0;
        const uint32_t n = len - skip;
        const uint32_t at = uint32_t((total + skip) % kForwardRingUsed);
        const uint32_t first = std::min(n, kForwardRingUsed - at);
        std::memcpy(TCPIPCyclicBufByte.get() + at, data + skip, first);
        std::memcpy(TCPIPCyclicBufByte.get(), data + skip + first, n - first);
        inTotal_.store(total + len, std::memory_order_release);
    }
    dataArrived_.notify_all();
}

void ForwardServer::ReapFinishedClients() {
    std::list<std::unique_ptr<Client>> finished;
    {
        std::lock_guard lk(clientsMutex_);
        for (auto it = clients_.begin(); it != clients_.end();) {
            if ((*it)->Done.load()) {
                auto next = std::next(it);
                finished.splice(finished.end(), clients_, it);
                it = next;
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) c->Thread.join();
}

void ForwardServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = poll(fds, 2, 200);
        ReapFinishedClients();
        if (ready < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;

        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        const int fd =
            accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors or memory: the pending connection stays queued and would wake
            // the poll at once again.
            if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        auto client = std::make_unique<Client>();
        client->Fd = fd;
        client->Peer = AddressText(reinterpret_cast<const sockaddr*>(&peer), len);
        const uint64_t start = inTotal_.load(std::memory_order_acquire);
        std::lock_guard lk(clientsMutex_);
        client->Thread = std::thread(&ForwardServer::ClientLoop, this, std::ref(*client), start);
        clients_.push_back(std::move(client));
    }
}

ForwardServer::SendEnd ForwardServer::SendAll(int fd, const uint8_t* data, uint32_t n, uint64_t pos,
                                              int& err) {
    uint32_t off = 0;
    while (off < n) {
        const ssize_t k = send(fd, data + off, n - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k > 0) {
            off += uint32_t(k);
            continue;
        }
        if (k < 0 && errno == EINTR) continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The client is not taking bytes: wait for room, but not longer than the ring
            // keeps what it still has to receive.
            if (inTotal_.load(std::memory_order_acquire) - (pos + off) > kForwardRingUsed)
                return SendEnd::FellBehind;
            if (DrainOver()) return SendEnd::Stopping;
            // Once the server stops, the wake descriptor stays readable: only room counts.
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd_, POLLIN, 0}};
            poll(fds, drainUntilNs_.load(std::memory_order_acquire) ? 1 : 2, kSendWaitMs);
            continue;
        }
        err = k < 0 ? errno : EPIPE;
        return SendEnd::Failed;
    }
    return SendEnd::Sent;
}

bool ForwardServer::DrainOver() const {
    const int64_t until = drainUntilNs_.load(std::memory_order_acquire);
    return until != 0 && SteadyNs() >= until;
}

void ForwardServer::ClientLoop(Client& c, uint64_t startPos) {
    std::vector<uint8_t> buf(kSendChunk);
    uint64_t pos = startPos;
    SendEnd end = SendEnd::Sent;
    int err = 0;
    for (;;) {
        uint32_t n = 0;
        {
            std::unique_lock lk(ringMutex_);
            const bool woken = dataArrived_.wait_for(
                lk, kIdleCheck, [&] { return stopping_ || inTotal_.load(std::memory_order_relaxed) != pos; });
            // A stopping server still sends what each client is owed, for a little while.
            if (stopping_ && (inTotal_.load(std::memory_order_relaxed) == pos || DrainOver())) {
                end = SendEnd::Stopping;
                break;
            }
            if (woken) {
                const uint64_t total = inTotal_.load(std::memory_order_relaxed);
                if (total - pos > kForwardRingUsed) {
                    end = SendEnd::FellBehind;
                    break;
                }
                n = uint32_t(std::min<uint64_t>(total - pos, buf.size()));
                const uint32_t at = uint32_t(pos % kForwardRingUsed);
                const uint32_t first = std::min(n, kForwardRingUsed - at);
                std::memcpy(buf.data(), TCPIPCyclicBufByte.get() + at, first);
                std::memcpy(buf.data() + first, TCPIPCyclicBufByte.get(), n - first);
            }
        }
        if (n == 0) {
            if (PeerGone(c.Fd)) break;
            continue;
        }
        end = SendAll(c.Fd, buf.data(), n, pos, err);
        if (end != SendEnd::Sent) break;
        pos += n;
    }

    close(c.Fd);
    if (end == SendEnd::FellBehind)
        sink_.SetStat("Forwarding: client " + c.Peer + " fell behind and was disconnected",
                      StatStyle::Normal);
    else if (end == SendEnd::Failed)
        sink_.SetStat("Forwarding failed: " + SystemErrorText(err) + " (client " + c.Peer + ")",
                      StatStyle::Normal);
    c.Done.store(true);
}

} // namespace vintrel

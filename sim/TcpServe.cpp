#include "sim/TcpServe.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "connection/StopSignal.h"
#include "sim/SimLog.h"
#include "sim/StreamPump.h"

namespace vintrel::sim {

namespace {

constexpr int kBacklog = 4;
constexpr int kAcceptPollMs = 200;

std::string AddressText(const sockaddr* sa, socklen_t len) {
    char host[NI_MAXHOST], port[NI_MAXSERV];
    if (getnameinfo(sa, len, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return sa->sa_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Binds the first address the host name gives that accepts a listener. Sets `error` on failure.
int OpenListener(const ListenAddress& a, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string port = std::to_string(a.port);
    if (const int rc = getaddrinfo(a.host.c_str(), port.c_str(), &hints, &list); rc != 0) {
        error = gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || listen(fd, kBacklog) != 0) {
            error = std::strerror(errno);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    return fd;
}

// Waits for the next client; -1 when a stop was requested or accepting failed for good.
int AcceptClient(int listener, std::string& peer) {
    while (!StopRequested()) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, kAcceptPollMs) <= 0) continue;
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        const int fd =
            accept4(listener, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            peer = AddressText(reinterpret_cast<sockaddr*>(&ss), len);
            return fd;
        }
        // A client that gave up before it was accepted, or a signal: try again.
        if (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED || errno == EPROTO) continue;
        std::fprintf(stderr, "vintrel-sim: accept: %s\n", std::strerror(errno));
        return -1;
    }
    return -1;
}

// The orderly end of a client's stream: the rest of the data goes out before the end of stream.
// Whatever the client sent and was not read yet is dropped first; left unread it would turn the
// close into a reset.
void CloseGracefully(int fd) {
    shutdown(fd, SHUT_WR);
    DiscardInput(fd);
}

// Bytes written that a reset now could lose: those not acknowledged by the peer yet (SIOCOUTQ),
// and among them those not even transmitted (SIOCOUTQNSD), which it can never have received.
// On loopback what was transmitted is in the peer's receive queue and stays readable there.
struct SendQueue {
    uint64_t unacked = 0, unsent = 0;
};
SendQueue QueuedBytes(int fd) {
    int unacked = 0, unsent = 0;
    SendQueue q;
    if (ioctl(fd, SIOCOUTQ, &unacked) == 0 && unacked > 0) q.unacked = uint64_t(unacked);
    if (ioctl(fd, SIOCOUTQNSD, &unsent) == 0 && unsent > 0) q.unsent = uint64_t(unsent);
    return q;
}

// A link failure: the connection is aborted with a reset, whatever is still unsent is lost.
void CloseAbruptly(int fd) {
    const linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

} // namespace

int ServeTcp(const SimOptions& o) {
    std::string error;
    SimLog log;
    if (!log.Open(o.logPath, error)) {
        std::fprintf(stderr, "vintrel-sim: %s\n", error.c_str());
        return 1;
    }
    const Fd listener(OpenListener(o.listen, error));
    const std::string wanted =
        (o.listen.host.find(':') != std::string::npos ? "[" + o.listen.host + "]" : o.listen.host) + ":" +
        std::to_string(o.listen.port);
    if (listener.get() < 0) {
        std::fprintf(stderr, "vintrel-sim: cannot listen on %s: %s\n", wanted.c_str(), error.c_str());
        return 1;
    }
    sockaddr_storage bound{};
    socklen_t boundLen = sizeof bound;
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &boundLen);
    const std::string address = AddressText(reinterpret_cast<sockaddr*>(&bound), boundLen);
    log.Begin("tcp:" + address, o.stream);
    std::printf("listening on %s\n", address.c_str());
    std::fflush(stdout);

    const bool continuing = o.dropAfter.has_value();
    const StreamFormat format = GetStreamFormat(o.stream.format);
    const std::optional<double> seconds = EffectiveSeconds(o);
    const uint64_t endFrames =
        seconds ? std::max<uint64_t>(1, FramesForSeconds(format, *seconds)) : UINT64_MAX;
    const uint64_t dropFrames =
        continuing ? std::max<uint64_t>(1, FramesForSeconds(format, *o.dropAfter)) : UINT64_MAX;

    std::optional<StreamGenerator> gen;
    SimRandom linkRandom(DeriveSeed(o.stream.seed, RandomStream::Link));
    DamageCounts total; // of the generators already retired
    DamageCounts sent;  // of all connections, as the log counts it
    uint64_t bytes = 0, clients = 0;
    for (;;) {
        std::string peer;
        const Fd client(AcceptClient(listener.get(), peer));
        if (client.get() < 0) break;
        ++clients;
        const int on = 1;
        setsockopt(client.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (!gen || !continuing) {
            if (gen) AddCounts(total, gen->Counts());
            gen.emplace(o.stream);
        }
        std::fprintf(stderr, "vintrel-sim: client %s connected, stream from frame %u\n", peer.c_str(),
                     static_cast<unsigned>(gen->NextCounter()));
        log.Connect(clients, peer, gen->NextCounter(), gen->BytesGenerated());

        PumpSettings settings;
        settings.maxFrames = std::min(endFrames, dropFrames);
        settings.paced = o.paced;
        settings.link = true;
        // A drop in the middle of a frame only when the drop comes before the end of the stream.
        if (o.dropMidFrame && dropFrames < endFrames) settings.cutAtEnd = &linkRandom;
        const PumpResult r = PumpFrames(*gen, client.get(), settings);
        bytes += r.bytes;
        AddCounts(sent, r.sent);

        const bool dropped = r.end == PumpEnd::Limit && dropFrames < endFrames;
        const char* how = "stopped";
        SendQueue queued;
        if (dropped) {
            queued = QueuedBytes(client.get());
            CloseAbruptly(client.get());
            how = "connection dropped (reset)";
        } else if (r.end == PumpEnd::Limit) {
            CloseGracefully(client.get());
            how = "stream ended";
        } else if (r.end == PumpEnd::PeerGone || r.end == PumpEnd::Failed) {
            how = "client went away";
        }
        std::fprintf(stderr, "vintrel-sim: client %s: %llu frames, %llu bytes; %s%s%s\n", peer.c_str(),
                     (unsigned long long)r.frames, (unsigned long long)r.bytes, how, r.error ? ": " : "",
                     r.error ? std::strerror(r.error) : "");
        log.End(clients, r, queued.unacked, queued.unsent, dropped ? "dropped" : PumpEndWord(r.end));
        if (o.once || r.end == PumpEnd::Stopped) break;
    }

    if (gen) AddCounts(total, gen->Counts());
    log.Total(total, sent, bytes);
    const std::string destination =
        "tcp " + address + " (" + std::to_string(clients) + (clients == 1 ? " client)" : " clients)");
    std::fprintf(stderr, "%s\n", StreamSummary(destination, o.stream, total, bytes).c_str());
    return 0;
}

} // namespace vintrel::sim

#include "support/StreamServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vintrel::test {

int ListenOnLoopback(uint16_t port, int backlog, uint16_t& bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    bound = ntohs(a.sin_port);
    return fd;
}

StreamServer::StreamServer(std::function<Plan(int)> planFor, uint16_t port) : planFor_(std::move(planFor)) {
    listenFd_ = ListenOnLoopback(port, 8, port_);
    thread_ = std::thread([this] { Run(); });
}

StreamServer::~StreamServer() {
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
    std::lock_guard lock(clientsMutex_);
    for (auto& t : clients_) t.join();
}

void StreamServer::Run() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        const int n = accepted_++;
        Plan plan = planFor_(n);
        std::lock_guard lock(clientsMutex_);
        clients_.emplace_back([this, fd, plan = std::move(plan)] {
            const size_t end =
                plan.ResetAfter ? std::min(plan.ResetAfter, plan.Bytes.size()) : plan.Bytes.size();
            size_t pos = 0;
            while (pos < end && !stop_) {
                const size_t n = std::min(plan.Piece, end - pos);
                const ssize_t w = ::send(fd, plan.Bytes.data() + pos, n, MSG_NOSIGNAL);
                if (w <= 0) break;
                pos += size_t(w);
                if (plan.PauseUs) std::this_thread::sleep_for(std::chrono::microseconds(plan.PauseUs));
            }
            if (plan.ResetAfter) {
                linger l{1, 0}; // abortive close: the peer sees a reset
                ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            } else if (!plan.CloseAtEnd) {
                while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::close(fd);
        });
    }
}

} // namespace vintrel::test

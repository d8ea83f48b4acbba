#pragma once
// A target on loopback for tests: listens on 127.0.0.1 (any free port) and serves each client
// that connects a stream of bytes from a supplier, optionally in pieces with pauses, optionally
// resetting the connection after a number of bytes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vintrel::test {

// A listening socket on 127.0.0.1:port (0: any free port); `bound` receives the port it got.
int ListenOnLoopback(uint16_t port, int backlog, uint16_t& bound);

class StreamServer {
public:
    struct Plan {
        std::vector<uint8_t> Bytes; // what this client gets
        size_t ResetAfter = 0;      // 0: send everything, then keep the connection open
        bool CloseAtEnd = false;    // orderly close after the bytes (instead of staying open)
        size_t Piece = 4096;        // bytes per write
        int PauseUs = 0;            // pause between pieces
    };
    // Called for each accepted client, numbered from 0.
    // port 0 takes any free port.
    explicit StreamServer(std::function<Plan(int client)> planFor, uint16_t port = 0);
    ~StreamServer();

    uint16_t Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    int Accepted() const { return accepted_.load(); }

private:
    void Run();
    std::function<Plan(int)> planFor_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
    std::mutex clientsMutex_;
    std::vector<std::thread> clients_;
};

} // namespace vintrel::test

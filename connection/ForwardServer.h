#pragma once
// The data forwarding server (VintrelIdTCPServer): passes every byte the transport thread reads
// from the open transport on to TCP clients, unchanged and in order, whatever its framing.
//
// Every connected client gets the whole stream from the moment it was accepted: each client
// thread keeps its own 64-bit position in the stream and the writer a 64-bit total, so clients
// never take bytes from one another. A client that falls more than kForwardRingUsed bytes
// behind would be sent overwritten data; it is disconnected instead.
//
// Threads: Start and Stop run on the window thread; OnBlockRead on the transport thread; one
// accept thread and one thread per client while the server is active. Stop joins them all.
// The ring is guarded by ringMutex_; the writer holds it only for the copy.
#include "stream/MessageSink.h"
#include "stream/ReceiveRing.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace vintrel {

inline constexpr const char* kDefaultForwardBind = "127.0.0.1";
inline constexpr const char* kDefaultForwardPort = "9099";

class ForwardServer final : public ReadObserver {
public:
    static constexpr uint32_t kForwardRingBytes = 1u << 20;
    static constexpr uint32_t kForwardRingUsed = 524288;

    explicit ForwardServer(MessageSink& sink);
    ~ForwardServer() override;
    ForwardServer(const ForwardServer&) = delete;
    ForwardServer& operator=(const ForwardServer&) = delete;

    // Stops a running server, then listens on bindAddress (a dotted IPv4 address, an IPv6
    // address with or without brackets, or a host name, looked up within 2 s) and the trimmed
    // decimal port in portText (0: any free port, see BoundPort). A port text that is not an integer
    // leaves the server stopped without an error text; any other failure (a port in use, an
    // address not of this machine) leaves it stopped with errorText set.
    bool Start(const std::string& bindAddress, std::string_view portText, std::string& errorText);
    // Closes the listener, sends every client what it is still owed (for at most 0.2 s),
    // closes the clients and joins all threads. Safe when stopped.
    void Stop();

    bool Active() const { return active_.load(std::memory_order_acquire); }
    uint16_t BoundPort() const { return boundPort_.load(); }
    // Clients connected now.
    int Clients() const;
    // Bytes taken for forwarding since Start.
    uint64_t Forwarded() const { return inTotal_.load(std::memory_order_acquire); }

    // The transport thread's copy of every block read.
    void OnBlockRead(const uint8_t* data, uint32_t len, uint32_t markLen) override;

private:
    struct Client {
        int Fd = -1;
        std::string Peer; // "address:port"
        std::thread Thread;
        std::atomic<bool> Done{false};
    };
    enum class SendEnd : uint8_t { Sent, Stopping, FellBehind, Failed };

    void AcceptLoop();
    void ClientLoop(Client& c, uint64_t startPos);
    SendEnd SendAll(int fd, const uint8_t* data, uint32_t n, uint64_t pos, int& err);
    void ReapFinishedClients();
    // The server is stopping and the time to send clients what they are owed has run out.
    bool DrainOver() const;

    MessageSink& sink_;
    std::unique_ptr<uint8_t[]> TCPIPCyclicBufByte;

    mutable std::mutex ringMutex_;
    std::condition_variable dataArrived_;
    // Bytes written into the ring since Start; written under ringMutex_, read anywhere.
    std::atomic<uint64_t> inTotal_{0};
    bool stopping_ = false;                // under ringMutex_
    std::atomic<int64_t> drainUntilNs_{0}; // 0 while running; set when Stop begins

    std::atomic<bool> active_{false};
    std::atomic<uint16_t> boundPort_{0};
    int listenFd_ = -1;
    int wakeFd_ = -1; // becomes readable when Stop begins
    std::thread acceptThread_;

    mutable std::mutex clientsMutex_;
    std::list<std::unique_ptr<Client>> clients_;
};

} // namespace vintrel

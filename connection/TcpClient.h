#pragma once
// The TCP/IP client that receives the target's stream from a listener (VintrelTCPIPclient).
//
// Threads: the window thread sets Host and Port and connects or disconnects while the transport
// thread is parked; the transport thread reads, and after a reset connection disconnects and
// connects again itself. The two never use the client at the same time; only the open state
// is shared across that hand-over and is atomic.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

inline constexpr const char* kNoHost = "NOHOST";
inline constexpr int kTcpConnectTimeoutMs = 10000;
inline constexpr int kTcpReadTimeoutMs = 80;

enum class TcpReadResult : uint8_t {
    Ok,       // all requested bytes are at dst
    TimedOut, // nothing more arrived within the read time-out; the partial bytes are kept
    Closed,   // the peer closed the connection; the client is disconnected
    Reset,    // the peer reset the connection
    Error,    // any other socket error
};

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient() { Disconnect(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Dotted IPv4 address; "NOHOST" means no listener is chosen.
    std::string Host = kNoHost;
    uint16_t Port = 0;

    // Connects to Host:Port within timeoutMs, closing any earlier connection first. On success
    // the read time-out is set to 80 ms. On failure errorText says why and nothing stays open.
    bool Connect(int timeoutMs, std::string& errorText);
    bool Connect(std::string& errorText) { return Connect(kTcpConnectTimeoutMs, errorText); }
    void Disconnect();
    bool Connected() const { return fd_.load(std::memory_order_acquire) >= 0; }

    // Reads what has arrived, at most len bytes, waiting at most the read time-out for the first
    // byte; `got` counts them. Bytes are never held back for a fixed count: the end of a frame
    // would wait for whatever the target sends next, and when the target pauses the parser gives
    // up the frame. errorText is set for every result but Ok.
    TcpReadResult ReadSome(uint8_t* dst, uint32_t len, uint32_t& got, std::string& errorText);

    // Bytes received and not yet read (0 when not connected). Any thread may ask.
    uint32_t Pending() const;

    int ReadTimeoutMs() const { return readTimeoutMs_; }

private:
    void SetReadTimeout(int ms);

    std::atomic<int> fd_{-1};
    int readTimeoutMs_ = kTcpReadTimeoutMs;
};

} // namespace vintrel

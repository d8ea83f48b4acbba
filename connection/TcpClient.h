#pragma once
// The TCP/IP client that receives the target's stream from a listener (VintrelTCPIPclient).
//
// Threads: the window thread sets Host and Port and connects or disconnects while the transport
// thread is parked; the transport thread reads, and disconnects when the peer has closed the
// connection. The two never use the client at the same time; only the open state is shared
// across that hand-over and is atomic. To end a blocked read or connect, another
// thread raises the CancelSignal passed in: it never closes the socket itself, because a
// descriptor closed under a running poll() may already name someone else's file.
#include "connection/CancelSignal.h"
#include "connection/HostResolver.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

inline constexpr const char* kNoHost = "NOHOST";
inline constexpr int kTcpConnectTimeoutMs = 10000;
inline constexpr int kTcpReadTimeoutMs = 80;

enum class TcpReadResult : uint8_t {
    Ok,        // got > 0 bytes are at dst (len = 0: nothing asked, nothing read)
    TimedOut,  // nothing arrived within the read time-out
    Closed,    // the peer closed the connection; the client is disconnected
    Reset,     // the peer reset the connection
    Error,     // any other socket error
    Cancelled, // the cancel signal is raised; the connection stays as it is
};

class TcpClient {
public:
    TcpClient() = default;
    ~TcpClient() { Disconnect(); }
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // A dotted IPv4 address, an IPv6 address (without brackets) or a host name, looked up at
    // each Connect; "NOHOST" means no listener is chosen.
    std::string Host = kNoHost;
    uint16_t Port = 0;

    // Connects to Host:Port within timeoutMs, closing any earlier connection first; a name's
    // addresses are tried in turn. On failure errorText gives the reason and then, in
    // parentheses, the address as given and what a name stood for; nothing stays open; a raised cancel ends
    // the wait for the handshake at once with "Connection cancelled".
    bool Connect(int timeoutMs, std::string& errorText, const CancelSignal* cancel = nullptr);
    bool Connect(std::string& errorText, const CancelSignal* cancel = nullptr) {
        return Connect(kTcpConnectTimeoutMs, errorText, cancel);
    }
    void Disconnect();
    bool Connected() const { return fd_.load(std::memory_order_acquire) >= 0; }

    // Reads what has arrived, at most len bytes, waiting at most the read time-out (80 ms) for
    // the first byte; `got` counts them. Bytes are never held back for a fixed count: the end of
    // a frame would wait for whatever the target sends next, and when the target pauses the
    // parser gives up the frame. A raised cancel ends the wait at once (Cancelled, got = 0:
    // bytes are only ever placed by the last step). errorText is set for every result but Ok.
    TcpReadResult ReadSome(uint8_t* dst, uint32_t len, uint32_t& got, std::string& errorText,
                           const CancelSignal* cancel = nullptr);

    // Bytes received and not yet read (0 when not connected). Any thread may ask.
    uint32_t Pending() const;

    int ReadTimeoutMs() const { return readTimeoutMs_; }

private:
    // One address: the connected socket, or -1 with err (ETIMEDOUT at the deadline, ECANCELED).
    static int ConnectOne(const SocketAddress& a, std::chrono::steady_clock::time_point deadline,
                          const CancelSignal* cancel, int& err);

    // Non-blocking from the connect on: every wait is a poll() that also watches the cancel.
    std::atomic<int> fd_{-1};
    int readTimeoutMs_ = kTcpReadTimeoutMs;
};

} // namespace vintrel

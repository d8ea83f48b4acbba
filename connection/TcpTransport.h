#pragma once
// The receive ring's reader for the TCP/IP client (TR_TCPIP): each part of a request is read
// whole or not at all. A failed read is reported on the status line; a connection reset by
// the peer during the first part is answered by connecting again at once.
//
// Threads: only the transport thread calls Read; it may also reconnect the client, which the
// window thread otherwise owns (see TcpClient).
#include "connection/TcpClient.h"
#include "stream/MessageSink.h"
#include "stream/Transport.h"

#include <string>

namespace vintrel {

class TcpTransport final : public Transport {
public:
    // The client and the sink must outlive the transport.
    TcpTransport(TcpClient& client, MessageSink& sink) : client_(client), sink_(sink) {}

    // Got = len when all bytes arrived; Got = 0 when the client is not connected or has no
    // host; Got = 0 and Failed after an error (status "TCP/IP : " + the error text).
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    uint32_t Pending() const override { return client_.Pending(); }

private:
    void ShowStatus(const char* prefix, const std::string& text);

    TcpClient& client_;
    MessageSink& sink_;
    // Reused for every failure so that a stream of time-outs does not allocate.
    std::string error_;
    std::string status_;
};

} // namespace vintrel

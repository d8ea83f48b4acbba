#pragma once
// The receive ring's reader for the TCP/IP client (TR_TCPIP): a read returns what has arrived,
// at most len bytes, after waiting at most the client's 80 ms read time-out for the first one.
// A failed read is reported on the status line; a connection reset by the peer during the
// first part is answered by connecting again at once, from inside that Read (for up to the
// 10 s connect time-out, unless cancelled).
//
// Threads: only the transport thread calls Read; it may also reconnect the client, which the
// window thread otherwise owns (see TcpClient). Cancel may come from any thread: it only
// raises this transport's signal, which the client's waits watch, and never touches the socket.
#include "connection/CancelSignal.h"
#include "connection/TcpClient.h"
#include "stream/MessageSink.h"
#include "stream/Transport.h"

#include <string>

namespace vintrel {

class TcpTransport final : public Transport {
public:
    // The client and the sink must outlive the transport.
    TcpTransport(TcpClient& client, MessageSink& sink) : client_(client), sink_(sink) {}

    // Got = what arrived; Got = 0 when the client is not connected or has no host. Failed after
    // an error (status "TCP/IP : " + the error text) and on a cancelled transport, whose reads
    // put no status and never reconnect: the window thread is taking the connection down and
    // owns the status line by then.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    uint32_t Pending() const override { return client_.Pending(); }
    void Cancel() override { cancel_.Raise(); }

private:
    void ShowStatus(const char* prefix, const std::string& text);

    TcpClient& client_;
    MessageSink& sink_;
    CancelSignal cancel_;
    // Reused for every failure so that a stream of time-outs does not allocate.
    std::string error_;
    std::string status_;
};

} // namespace vintrel

#pragma once
// The receive ring's reader for the TCP/IP client (TR_TCPIP): a read returns what has arrived,
// at most len bytes, after waiting at most the client's 80 ms read time-out for the first one.
// A connection the peer closed or reset, or one with a socket error, is reported on the status
// line and the window is asked (WM_TCPIP_RECONNECT) to make it again; the transport itself
// never reconnects. Until the window has parked it, its reads wait one read time-out and
// bring nothing.
//
// Threads: only the transport thread calls Read; the window thread owns the client otherwise
// (see TcpClient). Cancel may come from any thread: it only raises this transport's signal,
// which the client's waits watch, and never touches the socket.
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
    // put no status and ask for no reconnection: the window thread is taking the connection
    // down and owns the status line by then.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    uint32_t Pending() const override { return client_.Pending(); }
    void Cancel() override { cancel_.Raise(); }

private:
    void ShowStatus(const char* prefix, const std::string& text);

    TcpClient& client_;
    MessageSink& sink_;
    CancelSignal cancel_;
    bool gone_ = false; // the connection ended; the window has been asked to make it again
    // Reused for every failure so that a stream of time-outs does not allocate.
    std::string error_;
    std::string status_;
};

} // namespace vintrel

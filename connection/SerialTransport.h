#pragma once
// The receive ring's reader for an open COM port (TR_UART): a read returns what arrived
// within the port's time-outs (TimeOuts), possibly short, possibly nothing. On a silent line
// a read waits its whole total time-out, 10 ms + 1 ms per requested byte, which is why the
// window thread needs Cancel to stop the transport thread promptly.
//
// Threads: only the transport thread calls Read; Cancel may come from any thread.
#include "connection/CancelSignal.h"
#include "connection/SerialPorts.h"
#include "stream/MessageSink.h"
#include "stream/Transport.h"

namespace vintrel {

class UartTransport final : public Transport {
public:
    // The port stays owned by the caller and must outlive the transport, and so must the sink.
    explicit UartTransport(SerialPort& port, MessageSink* sink = nullptr) : port_(port), sink_(sink) {}

    // A failed read gives Got = 0, which the transport thread treats as silence; a port that
    // hangs up or fails is also posted once (WM_LINK_LOST) until bytes come again, so that the
    // window counts the link as lost. Once cancelled, a read returns at once with the bytes it already had
    // (none for every later read) and Failed, so the wrapped part of a request is not started.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    uint32_t Pending() const override { return port_.Pending(); }
    void Cancel() override { cancel_.Raise(); }

private:
    SerialPort& port_;
    MessageSink* sink_;
    CancelSignal cancel_;
    bool lost_ = false; // the port failed and that was posted; no byte since
};

} // namespace vintrel

#pragma once
// The receive ring's reader for an open COM port (TR_UART): a read returns what arrived
// within the port's time-outs (TimeOuts), possibly short, possibly nothing. On a silent line
// a read waits its whole total time-out, 10 ms + 1 ms per requested byte, which is why the
// window thread needs Cancel to stop the transport thread promptly.
//
// Threads: only the transport thread calls Read; Cancel may come from any thread.
#include "connection/CancelSignal.h"
#include "connection/SerialPorts.h"
#include "stream/Transport.h"

namespace vintrel {

class UartTransport final : public Transport {
public:
    // The port stays owned by the caller and must outlive the transport.
    explicit UartTransport(SerialPort& port) : port_(port) {}

    // Read failures are not reported: they give Got = 0, which the transport thread treats as
    // silence. Once cancelled, a read returns at once with the bytes it already had (none for
    // every later read) and Failed, so the wrapped part of a request is not started.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    uint32_t Pending() const override { return port_.Pending(); }
    void Cancel() override { cancel_.Raise(); }

private:
    SerialPort& port_;
    CancelSignal cancel_;
};

} // namespace vintrel

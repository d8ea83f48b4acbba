#pragma once
// The receive ring's reader for an open COM port (TR_UART): a read returns what arrived
// within the port's time-outs (TimeOuts), possibly short, possibly nothing.
// Only the transport thread calls Read.
#include "connection/SerialPorts.h"
#include "stream/Transport.h"

namespace vintrel {

class UartTransport final : public Transport {
public:
    // The port stays owned by the caller and must outlive the transport.
    explicit UartTransport(SerialPort& port) : port_(port) {}

    // Read failures are not reported: they give Got = 0, which the transport thread treats as
    // silence.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;

private:
    SerialPort& port_;
};

} // namespace vintrel

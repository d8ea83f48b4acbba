#pragma once
// The receive ring's reader for an open FTDI adapter: FT_Read with the adapter's 20 ms read
// time-out, so a read returns what arrived within that time (possibly short, possibly nothing).
// Only the transport thread calls Read.
#include "connection/Ftdi.h"
#include "stream/Transport.h"

namespace vintrel {

class FtdiTransport final : public Transport {
public:
    // The binding must outlive the transport; the handle stays owned by the caller.
    FtdiTransport(const Ftdi& ftdi, FT_HANDLE handle) : ftdi_(ftdi), handle_(handle) {}

    // Only the count FT_Read returns is used, never its status: a failed or unbound read
    // gives Got = 0, which the transport thread treats as silence.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;

private:
    const Ftdi& ftdi_;
    FT_HANDLE handle_;
};

} // namespace vintrel

#include "connection/SerialTransport.h"

namespace vintrel {

TransportRead UartTransport::Read(uint8_t* dst, uint32_t len, bool /*firstPart*/) {
    TransportRead r;
    r.Got = port_.Read(dst, len, &cancel_);
    r.Failed = len > 0 && cancel_.Raised();
    return r;
}

} // namespace vintrel

#include "connection/SerialTransport.h"

#include "stream/Types.h"

namespace vintrel {

TransportRead UartTransport::Read(uint8_t* dst, uint32_t len, bool /*firstPart*/) {
    TransportRead r;
    bool failed = false;
    r.Got = port_.Read(dst, len, &cancel_, &failed);
    r.Failed = len > 0 && cancel_.Raised();
    if (r.Got > 0) {
        lost_ = false;
    } else if (failed && !r.Failed && !lost_) {
        lost_ = true;
        if (sink_) sink_->Post(WM_LINK_LOST, TR_UART, 0);
    }
    return r;
}

} // namespace vintrel

#include "connection/FtdiTransport.h"

#include "stream/Types.h"

#include <algorithm>

namespace vintrel {

TransportRead FtdiTransport::Read(uint8_t* dst, uint32_t len, bool /*firstPart*/) {
    TransportRead r;
    if (!handle_ || len == 0) return r;
    if (cancelled_.load(std::memory_order_acquire)) {
        r.Failed = true;
        return r;
    }
    uint32_t got = 0;
    const FT_STATUS status = ftdi_.FT_Read(handle_, dst, len, &got);
    // The count decides how far the ring's write index moves; never trust it past the request.
    r.Got = std::min(got, len);
    r.Failed = cancelled_.load(std::memory_order_acquire); // the wrapped part is not started
    if (r.Got > 0) {
        lost_ = false;
    } else if (status != FT_OK && !r.Failed && !lost_) {
        lost_ = true;
        if (sink_) sink_->Post(WM_LINK_LOST, TR_FTDI, 0);
    }
    return r;
}

uint32_t FtdiTransport::Pending() const {
    uint32_t queued = 0;
    if (cancelled_.load(std::memory_order_acquire) || !ftdi_.FT_GetQueueStatus) return 0;
    return ftdi_.FT_GetQueueStatus(handle_, &queued) == FT_OK ? queued : 0;
}

} // namespace vintrel

#include "connection/TcpTransport.h"

namespace vintrel {

void TcpTransport::ShowStatus(const char* prefix, const std::string& text) {
    status_.assign(prefix);
    status_ += text;
    sink_.SetStat(status_, StatStyle::Normal);
}

TransportRead TcpTransport::Read(uint8_t* dst, uint32_t len, bool) {
    TransportRead r;
    if (len == 0) return r;
    if (cancel_.Raised()) {
        r.Failed = true;
        return r;
    }
    if (gone_) {
        // Nothing more comes on this connection; the window takes it down soon.
        cancel_.WaitFor(client_.ReadTimeoutMs());
        return r;
    }
    if (!client_.Connected() || client_.Host == kNoHost) return r;

    const TcpReadResult result = client_.ReadSome(dst, len, r.Got, error_, &cancel_);
    if (result == TcpReadResult::Ok) return r;
    r.Failed = true; // what did arrive is in r.Got; the wrapped part is not read
    // A cancel raised just after the socket failed counts as well: no status, no reconnect.
    if (cancel_.Raised() || result == TcpReadResult::Cancelled) return r;
    ShowStatus("TCP/IP : ", error_);
    if (result == TcpReadResult::TimedOut) return r; // silence alone keeps the connection
    gone_ = true;
    sink_.Post(WM_TCPIP_RECONNECT, 0, 0);
    return r;
}

} // namespace vintrel

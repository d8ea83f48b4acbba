#include "connection/TcpTransport.h"

namespace vintrel {

void TcpTransport::ShowStatus(const char* prefix, const std::string& text) {
    status_.assign(prefix);
    status_ += text;
    sink_.SetStat(status_, StatStyle::Normal);
}

TransportRead TcpTransport::Read(uint8_t* dst, uint32_t len, bool firstPart) {
    TransportRead r;
    if (len == 0) return r;
    if (cancel_.Raised()) {
        r.Failed = true; // also after a cancelled reconnect left the client closed
        return r;
    }
    if (!client_.Connected() || client_.Host == kNoHost) return r;

    const TcpReadResult result = client_.ReadSome(dst, len, r.Got, error_, &cancel_);
    if (result == TcpReadResult::Ok) return r;
    r.Failed = true; // what did arrive is in r.Got; the wrapped part is not read
    // A cancel raised just after the socket failed counts as well: no status, no reconnect.
    if (cancel_.Raised()) return r;
    ShowStatus("TCP/IP : ", error_);
    if (result == TcpReadResult::Reset && firstPart) {
        client_.Disconnect();
        if (!client_.Connect(kTcpConnectTimeoutMs, error_, &cancel_) && !cancel_.Raised())
            ShowStatus("Trying to reconnect TCP/IP : error ", error_);
    }
    return r;
}

} // namespace vintrel

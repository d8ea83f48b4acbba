// The TCP/IP address typed by the user. An accepted address gives a host of four parts in
// 0..255, a host name or an IPv6 address, and the colon's position; a refused one leaves host
// and port as they were.
#include "connection/HostResolver.h"
#include "connection/IpAddress.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vintrel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string host = "unchanged", error;
    uint16_t port = 4321;
    const int r = ParseIPaddrPortString(text, host, port, error);
    if (r > 0) {
        if (size_t(r) > text.size() || text[size_t(r) - 1] != ':') std::abort();
        // A dotted address has its four parts; anything else is a name or an IPv6 address.
        if (host.find_first_not_of("0123456789. \t+-") == std::string::npos) {
            int dots = 0;
            for (char c : host) dots += c == '.';
            if (dots < 3) std::abort();
        } else if (ClassifyHost(host) != HostKind::Name && ClassifyHost(host) != HostKind::IPv6) {
            std::abort();
        }
    } else {
        if (host != "unchanged" || port != 4321) std::abort();
        if (r == kAddrConversionError && error.empty()) std::abort();
        if (r != 0 && r != kAddrConversionError) std::abort();
    }
    return 0;
}

#include "connection/IpAddress.h"

#include "connection/HostResolver.h"
#include "stream/Text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <limits>
#include <netinet/in.h>

namespace vintrel {

namespace {

// The port after the colon: 1 taken, 0 outside the socket's range, kAddrConversionError when it
// is no integer (errorText says so).
int ParsePort(std::string_view portText, uint16_t& port, std::string& errorText) {
    const std::optional<int32_t> p = ParseDecimal<int32_t>(portText);
    if (!p) {
        errorText = NotAnIntegerText(portText);
        return kAddrConversionError;
    }
    // A port the socket layer cannot take is a wrong address, not something to truncate into
    // another port number.
    if (*p < 0 || *p > 65535) return 0;
    port = static_cast<uint16_t>(*p);
    return 1;
}

int ColonResult(size_t colon) {
    return static_cast<int>(std::min<size_t>(colon + 1, size_t(std::numeric_limits<int>::max())));
}

// The dotted address of four decimal parts, checked strictly.
int ParseDottedAddress(std::string_view IPaddrPort, size_t colon, std::string& host, uint16_t& port,
                       std::string& errorText) {
    // The three dots nearest the colon, right to left; everything before the third one is the
    // first part.
    size_t dots[3];
    size_t searchEnd = colon;
    for (size_t& dot : dots) {
        if (searchEnd == 0) return 0;
        dot = IPaddrPort.rfind('.', searchEnd - 1);
        if (dot == std::string_view::npos) return 0;
        searchEnd = dot;
    }
    const size_t begins[4] = {0, dots[2] + 1, dots[1] + 1, dots[0] + 1};
    const size_t ends[4] = {dots[2], dots[1], dots[0], colon};
    for (int k = 0; k < 4; ++k) {
        const std::string_view part = TrimBlanks(IPaddrPort.substr(begins[k], ends[k] - begins[k]));
        const std::optional<int32_t> v = ParseDecimal<int32_t>(part);
        if (!v) {
            errorText = NotAnIntegerText(part);
            return kAddrConversionError;
        }
        if (*v < 0 || *v > 255) return 0;
    }
    uint16_t p = 0;
    const int r = ParsePort(TrimBlanks(IPaddrPort.substr(colon + 1)), p, errorText);
    if (r <= 0) return r;
    host = std::string(TrimBlanks(IPaddrPort.substr(0, colon)));
    port = p;
    return ColonResult(colon);
}

} // namespace

int ParseIPaddrPortString(std::string_view IPaddrPort, std::string& host, uint16_t& port,
                          std::string& errorText) {
    const size_t colon = IPaddrPort.rfind(':');
    if (colon == std::string_view::npos) return 0;
    const std::string_view hostText = TrimBlanks(IPaddrPort.substr(0, colon));
    // A text of digits and dots is a dotted address and nothing else.
    if (hostText.find_first_not_of("0123456789. \t+-") == std::string_view::npos)
        return ParseDottedAddress(IPaddrPort, colon, host, port, errorText);

    std::string_view name = hostText;
    if (hostText.front() == '[') {
        if (hostText.size() < 2 || hostText.back() != ']') return 0;
        name = hostText.substr(1, hostText.size() - 2);
        if (ClassifyHost(name) != HostKind::IPv6) return 0;
    } else if (ClassifyHost(name) != HostKind::Name) {
        return 0; // an IPv6 address needs its brackets
    }
    uint16_t p = 0;
    const int r = ParsePort(TrimBlanks(IPaddrPort.substr(colon + 1)), p, errorText);
    if (r <= 0) return r;
    host = std::string(name);
    port = p;
    return ColonResult(colon);
}

std::vector<std::string> LocalIPv4Addresses() {
    std::vector<std::string> out{"127.0.0.1"};
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (!inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
        if (std::find(out.begin(), out.end(), text) == out.end()) out.emplace_back(text);
    }
    freeifaddrs(list);
    return out;
}

} // namespace vintrel

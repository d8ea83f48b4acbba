#pragma once
// The TCP/IP listener address typed by the user ("10.0.0.1:9090", "[::1]:9090",
// "target.local:9090") and the local IPv4 addresses the forwarding server can bind to. Runs on
// the window thread.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vintrel {

// A part of the address or the port that is not a decimal integer. The connect attempt is
// abandoned and the error text is shown; nothing is opened.
inline constexpr int kAddrConversionError = -1;

// Parses an address, a colon and a port. The address is a dotted IPv4 address (any text of
// digits and dots is taken as one and checked strictly), an IPv6 address in brackets, or a host
// name, which is only looked up when connecting. On success host receives the trimmed text
// before the colon (brackets removed), port the trimmed text after it, and the result is the
// 1-based position of the (last) colon. 0: a wrong address (no colon, fewer than three dots
// before it, a part outside 0..255, a port outside 0..65535, an IPv6 address without brackets,
// a text that is no host name). kAddrConversionError: a part or the port is not an integer;
// errorText says which. host and port are changed only on success.
int ParseIPaddrPortString(std::string_view IPaddrPort, std::string& host, uint16_t& port,
                          std::string& errorText);

// The machine's IPv4 addresses as dotted text: "127.0.0.1" first, then the others in the
// order the system reports them, without duplicates.
std::vector<std::string> LocalIPv4Addresses();

} // namespace vintrel

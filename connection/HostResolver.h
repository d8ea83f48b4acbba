#pragma once
// Turns a host text into socket addresses: a dotted IPv4 address or an IPv6 address is taken
// as it is; any other text is a host name, looked up with getaddrinfo.
//
// A lookup can hang on an unreachable name server for much longer than anyone waits for a
// Connect press. It therefore runs on a worker thread of its own and is waited for at most
// kResolveTimeoutMs; a lookup that has not answered by then is left to finish on its own (its
// thread owns everything it touches) and the caller is told it timed out.
#include "connection/CancelSignal.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <vector>

namespace vintrel {

inline constexpr int kResolveTimeoutMs = 2000;

struct SocketAddress {
    sockaddr_storage Addr{};
    socklen_t Len = 0;
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&Addr); }
    int Family() const { return Addr.ss_family; }
};

// The kinds of host text the address fields take.
enum class HostKind : uint8_t { IPv4, IPv6, Name, Invalid };

// IPv4: digits and dots only (the caller checks its four parts); IPv6: an address the system
// takes as IPv6, brackets removed by the caller; Name: letters, digits, '-', '_' and '.', at
// least one letter, each label at most 63 characters; anything else is Invalid.
HostKind ClassifyHost(std::string_view host);

// Addresses of host (without brackets) for a TCP stream on port, in the order the system
// prefers. passive: addresses to bind to. A name is looked up within timeoutMs, or until the
// cancel is raised. On failure errorText says why, naming the host.
bool ResolveHost(const std::string& host, uint16_t port, bool passive, std::vector<SocketAddress>& out,
                 std::string& errorText, int timeoutMs = kResolveTimeoutMs,
                 const CancelSignal* cancel = nullptr);

// "10.0.0.1:9090", "[::1]:9090": the address as a listener address field shows it.
std::string AddressText(const sockaddr* sa, socklen_t len);
// host and port the same way; an IPv6 host gets its brackets.
std::string HostPortText(std::string_view host, uint16_t port);

} // namespace vintrel

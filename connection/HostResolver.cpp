#include "connection/HostResolver.h"

#include "stream/SystemError.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <thread>

namespace vintrel {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// One lookup, shared by the waiting caller and the worker; whoever finishes last frees it.
struct Lookup {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    int Result = 0;
    int Errno = 0; // the worker's errno when Result is EAI_SYSTEM
    std::vector<SocketAddress> Addresses;
};

void RunLookup(const std::shared_ptr<Lookup>& lookup, const std::string& host, const std::string& port,
               const addrinfo& hints) {
    addrinfo* list = nullptr;
    const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
    const int err = errno;
    std::vector<SocketAddress> found;
    for (const addrinfo* ai = list; rc == 0 && ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        SocketAddress a;
        std::memcpy(&a.Addr, ai->ai_addr, ai->ai_addrlen);
        a.Len = ai->ai_addrlen;
        found.push_back(a);
    }
    if (list) freeaddrinfo(list);
    std::lock_guard lk(lookup->Mutex);
    lookup->Result = rc;
    lookup->Errno = err;
    lookup->Addresses = std::move(found);
    lookup->Finished = true;
    lookup->Done.notify_all();
}

std::string LookupError(const Lookup& l) {
    return l.Result == EAI_SYSTEM ? SystemErrorText(l.Errno) : std::string(gai_strerror(l.Result));
}

} // namespace

HostKind ClassifyHost(std::string_view host) {
    if (host.empty()) return HostKind::Invalid;
    bool onlyDigitsAndDots = true, letter = false, nameChars = true;
    size_t label = 0;
    for (const char c : host) {
        onlyDigitsAndDots &= IsDigit(c) || c == '.';
        letter |= IsLetter(c);
        nameChars &= IsDigit(c) || IsLetter(c) || c == '-' || c == '_' || c == '.';
        label = c == '.' ? 0 : label + 1;
        if (label > 63) nameChars = false;
    }
    if (onlyDigitsAndDots) return HostKind::IPv4;
    if (host.find(':') != std::string_view::npos) {
        in6_addr a{};
        const std::string text(host.substr(0, host.find('%'))); // a zone ("%eth0") follows the address
        return inet_pton(AF_INET6, text.c_str(), &a) == 1 ? HostKind::IPv6 : HostKind::Invalid;
    }
    return nameChars && letter && host.front() != '.' && host.front() != '-' ? HostKind::Name
                                                                             : HostKind::Invalid;
}

bool ResolveHost(const std::string& host, uint16_t port, bool passive, std::vector<SocketAddress>& out,
                 std::string& errorText, int timeoutMs, const CancelSignal* cancel) {
    out.clear();
    const HostKind kind = ClassifyHost(host);
    if (kind == HostKind::Invalid) {
        errorText = "'" + host + "' is not a host name or an IP address";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = kind == HostKind::IPv4 ? AF_INET : kind == HostKind::IPv6 ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags =
        AI_NUMERICSERV | (passive ? AI_PASSIVE : 0) | (kind == HostKind::Name ? 0 : AI_NUMERICHOST);
    const std::string portText = std::to_string(port);

    auto lookup = std::make_shared<Lookup>();
    if (kind != HostKind::Name) {
        RunLookup(lookup, host, portText, hints); // a number: nothing to wait for
    } else {
        try {
            std::thread(RunLookup, lookup, host, portText, hints).detach();
        } catch (const std::system_error& e) {
            errorText = "Cannot look up " + host + ": " + e.what();
            return false;
        }
    }
    std::unique_lock lk(lookup->Mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!lookup->Finished) {
        if (cancel && cancel->Raised()) {
            errorText = "Connection cancelled";
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            errorText = "Cannot look up " + host + ": no answer within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        lookup->Done.wait_for(lk,
                              std::min<std::chrono::steady_clock::duration>(
                                  deadline - now, std::chrono::milliseconds(CancelSignal::kCancelCheckMs)));
    }
    if (lookup->Result != 0 || lookup->Addresses.empty()) {
        errorText = "Cannot look up " + host + ": " +
                    (lookup->Result != 0 ? LookupError(*lookup) : std::string("no address"));
        return false;
    }
    out = lookup->Addresses;
    return true;
}

std::string AddressText(const sockaddr* sa, socklen_t len) {
    char host[NI_MAXHOST], serv[NI_MAXSERV];
    if (getnameinfo(sa, len, host, sizeof host, serv, sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return sa->sa_family == AF_INET6 ? "[" + std::string(host) + "]:" + serv : std::string(host) + ":" + serv;
}

std::string HostPortText(std::string_view host, uint16_t port) {
    const bool v6 = host.find(':') != std::string_view::npos;
    return (v6 ? "[" : "") + std::string(host) + (v6 ? "]:" : ":") + std::to_string(port);
}

} // namespace vintrel

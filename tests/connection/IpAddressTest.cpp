// The listener address typed by the user and the local address list of the forwarding server.
#include "connection/IpAddress.h"

#include "connection/HostResolver.h"

#include <arpa/inet.h>
#include <chrono>
#include <gtest/gtest.h>
#include <set>

namespace vintrel::test {
namespace {

TEST(AddressParseTest, ResultsHostPortAndErrors) {
    struct Case {
        const char* text;
        int result;
        const char* host;
        uint16_t port;
        const char* error;
    };
    const Case cases[] = {
        {"10.0.0.1:9090", 9, "10.0.0.1", 9090, ""},
        {"  127.0.0.1 : 9099 ", 13, "127.0.0.1", 9099, ""},
        {"255.255.255.255:65535", 16, "255.255.255.255", 65535, ""},
        // Names are taken as typed and looked up when connecting; IPv6 goes in brackets.
        {"localhost:9090", 10, "localhost", 9090, ""},
        {" target-7.lab_net : 80", 19, "target-7.lab_net", 80, ""},
        {"10.0.a.1:9090", 9, "10.0.a.1", 9090, ""},
        {"[::1]:9090", 6, "::1", 9090, ""},
        {"[fe80::1%lo]:7", 13, "fe80::1%lo", 7, ""},
        {"localhost:x", kAddrConversionError, "-", 1, "'x' is not a valid integer value"},
        // Wrong addresses change nothing: digits and dots are checked as strictly as ever.
        {"10.0.0.256:9090", 0, "-", 1, ""},
        {"10.0.0:9090", 0, "-", 1, ""},
        {"::1:9090", 0, "-", 1, ""}, // an IPv6 address needs its brackets
        {"[::1:9090", 0, "-", 1, ""},
        {"[10.0.0.1]:9090", 0, "-", 1, ""},
        {"local host:9090", 0, "-", 1, ""},
        {"localhost:70000", 0, "-", 1, ""},
        {":9090", 0, "-", 1, ""},
        {"10.0.0.1", 0, "-", 1, ""},
        {"10.0.0.-1:80", 0, "-", 1, ""},
        {"10.0.0.1:65536", 0, "-", 1, ""}, // beyond the socket's port range
        {"10.0.0.1:-1", 0, "-", 1, ""},
        // Parts that are no integer abort the attempt; the parts count back from the last colon.
        {"10.0.0.1:x", kAddrConversionError, "-", 1, "'x' is not a valid integer value"},
        {"10.0.0.1:", kAddrConversionError, "-", 1, "'' is not a valid integer value"},
        {"10.0.0.1:99999999999", kAddrConversionError, "-", 1, "'99999999999' is not a valid integer value"},
        {"1.2.3.4.5:80", kAddrConversionError, "-", 1, "'1.2' is not a valid integer value"},
        {"a:10.0.0.1:80", 0, "-", 1, ""},
    };
    for (const Case& c : cases) {
        std::string host = "-", error;
        uint16_t port = 1;
        EXPECT_EQ(ParseIPaddrPortString(c.text, host, port, error), c.result) << c.text;
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(HostResolverTest, NumbersAsTheyAreNamesLookedUpWithinTheirTime) {
    std::vector<SocketAddress> out;
    std::string error;
    ASSERT_TRUE(ResolveHost("127.0.0.1", 9090, false, out, error)) << error;
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(AddressText(out[0].Get(), out[0].Len), "127.0.0.1:9090");
    ASSERT_TRUE(ResolveHost("::1", 80, false, out, error)) << error;
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(AddressText(out[0].Get(), out[0].Len), "[::1]:80");
    // Whether the name server answers or not, a name that cannot exist fails within the lookup
    // time (plus whatever a busy machine adds) and says which name it was.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ResolveHost("nosuch.invalid", 9090, false, out, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(error.rfind("Cannot look up nosuch.invalid: ", 0), 0u) << error;
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ResolveHost("a b", 1, false, out, error));
    EXPECT_EQ(error, "'a b' is not a host name or an IP address");
}

TEST(LocalAddressesTest, LoopbackFirstNoDuplicatesAllDotted) {
    const auto list = LocalIPv4Addresses();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front(), "127.0.0.1");
    EXPECT_EQ(std::set<std::string>(list.begin(), list.end()).size(), list.size());
    in_addr in{};
    for (const auto& a : list) EXPECT_EQ(inet_pton(AF_INET, a.c_str(), &in), 1) << a;
}

} // namespace
} // namespace vintrel::test

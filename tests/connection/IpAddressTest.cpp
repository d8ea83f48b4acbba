// The listener address typed by the user and the local address list of the forwarding server.
#include "connection/IpAddress.h"

#include <arpa/inet.h>
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
        // Wrong addresses change nothing.
        {"10.0.0.256:9090", 0, "-", 1, ""},
        {"10.0.0:9090", 0, "-", 1, ""},
        {"localhost:9090", 0, "-", 1, ""},
        {"10.0.0.1", 0, "-", 1, ""},
        {"10.0.0.-1:80", 0, "-", 1, ""},
        {"10.0.0.1:65536", 0, "-", 1, ""}, // beyond the socket's port range
        {"10.0.0.1:-1", 0, "-", 1, ""},
        // Parts that are no integer abort the attempt; the parts count back from the last colon.
        {"10.0.0.1:x", kAddrConversionError, "-", 1, "'x' is not a valid integer value"},
        {"10.0.a.1:9090", kAddrConversionError, "-", 1, "'a' is not a valid integer value"},
        {"10.0.0.1:", kAddrConversionError, "-", 1, "'' is not a valid integer value"},
        {"10.0.0.1:99999999999", kAddrConversionError, "-", 1, "'99999999999' is not a valid integer value"},
        {"1.2.3.4.5:80", kAddrConversionError, "-", 1, "'1.2' is not a valid integer value"},
        {"a:10.0.0.1:80", kAddrConversionError, "-", 1, "'a:10' is not a valid integer value"},
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

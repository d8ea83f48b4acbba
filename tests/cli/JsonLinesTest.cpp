// The JSON Lines writer: what it writes must read back as the values given.
#include "cli/JsonLines.h"
#include "support/JsonValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vintrel {
using cli::JsonArray;
using cli::JsonObject;
using test::Json;

TEST(JsonLines, StringsAreEscapedAndInvalidUtf8Replaced) {
    struct Case {
        std::string in, readBack;
    } const cases[] = {
        {"plain", "plain"},
        {"quote \" backslash \\ slash /", "quote \" backslash \\ slash /"},
        {"tab\tnl\ncr\r\x01\x1f\x7f", "tab\tnl\ncr\r\x01\x1f\x7f"},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5",
         "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"bad \xFF end", "bad \xEF\xBF\xBD end"},
        {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"overlong \xC0\xAF", "overlong \xEF\xBF\xBD\xEF\xBF\xBD"},
        {"surrogate \xED\xA0\x80", "surrogate \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::string("nul \0 in", 8), std::string("nul \0 in", 8)},
    };
    for (const Case& c : cases) {
        const std::string line = JsonObject().Add("s", c.in).Text();
        SCOPED_TRACE(line);
        // No raw control character is left on the line.
        for (char ch : line) EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
        EXPECT_EQ(Json::Parse(line)["s"].Str(), c.readBack);
    }
}

TEST(JsonLines, NumbersNullsAndNesting) {
    JsonArray a;
    a.Push("x").Push(int64_t(-3)).Push(JsonObject().Add("k", true));
    const std::string line = cli::Typed("t")
                                 .Add("i", -42)
                                 .Add("u", std::numeric_limits<uint64_t>::max())
                                 .Add("d", 0.004)
                                 .Add("nan", std::nan(""))
                                 .Add("none", std::optional<int>())
                                 .Add("some", std::optional<int>(7))
                                 .Add("f", false)
                                 .Add("a", a)
                                 .Add("o", JsonObject())
                                 .Text();
    const Json j = Json::Parse(line);
    EXPECT_EQ(line.rfind("{\"type\":\"t\",", 0), 0u);
    EXPECT_EQ(j["i"].Num(), -42);
    EXPECT_NE(line.find("\"u\":18446744073709551615"), std::string::npos);
    EXPECT_EQ(j["d"].Num(), 0.004);
    EXPECT_TRUE(j["nan"].IsNull());
    EXPECT_TRUE(j["none"].IsNull());
    EXPECT_EQ(j["some"].Num(), 7);
    EXPECT_FALSE(j["f"].Bool());
    ASSERT_EQ(j["a"].Arr().size(), 3u);
    EXPECT_EQ(j["a"].Arr()[1].Num(), -3);
    EXPECT_TRUE(j["a"].Arr()[2]["k"].Bool());
    EXPECT_TRUE(j["o"].Obj().empty());
}

} // namespace vintrel

// The vintrel-sim command line.
#include <gtest/gtest.h>

#include "sim/SimOptions.h"

namespace vintrel::sim {
namespace {

TEST(SimOptions, EveryOptionInBothSpellings) {
    const auto r = ParseSimOptions({"--protocol",
                                    "old",
                                    "--format=16 Ksps, 16 ms",
                                    "--big-endian",
                                    "--channels",
                                    "3",
                                    "--seconds=2.5",
                                    "--seed",
                                    "18446744073709551615",
                                    "--platform",
                                    "kalimba",
                                    "--echo-delay-ms=120",
                                    "--skip-frame-every",
                                    "9",
                                    "--garbage-every=4",
                                    "--start-counter",
                                    "4294967295",
                                    "--output",
                                    "x.bin",
                                    "--erl-db",
                                    "12",
                                    "--cancel-db=25",
                                    "--near-talk-every",
                                    "3",
                                    "--no-noise"});
    ASSERT_TRUE(r.Ok()) << r.error;
    const SimOptions& o = r.options;
    EXPECT_EQ(o.stream.protocol, Protocol::Old);
    EXPECT_EQ(o.stream.format, DataStreamFormat::Ksps16Ms16);
    EXPECT_TRUE(o.stream.bigEndian);
    EXPECT_EQ(o.stream.channels, 3);
    EXPECT_EQ(o.stream.seed, UINT64_MAX);
    EXPECT_EQ(o.stream.platform, TargetPlatform::Kalimba);
    EXPECT_EQ(o.stream.echoDelayMs, 120);
    EXPECT_EQ(o.stream.damage.skipFrameEvery, 9u);
    EXPECT_EQ(o.stream.damage.garbageEvery, 4u);
    EXPECT_EQ(o.stream.startCounter, UINT32_MAX);
    EXPECT_EQ(o.output, "x.bin");
    EXPECT_NEAR(o.stream.signal.echoGain, 0.251189, 1e-6);
    EXPECT_NEAR(o.stream.signal.residualEcho, 0.0562341, 1e-7);
    EXPECT_DOUBLE_EQ(o.stream.signal.nearTalkEverySeconds, 3.0);
    EXPECT_FALSE(o.stream.signal.noise);
    EXPECT_DOUBLE_EQ(*EffectiveSeconds(o), 2.5);

    const auto n = ParseSimOptions(
        {"--format", "24k1.33", "--bad-checksum-every", "7", "--unknown-tag-every=3", "--output", "y.bin"});
    ASSERT_TRUE(n.Ok()) << n.error;
    EXPECT_EQ(n.options.stream.format, DataStreamFormat::Ksps24Ms1_33);
    EXPECT_EQ(n.options.stream.damage.badChecksumEvery, 7u);
    EXPECT_EQ(n.options.stream.damage.unknownTagEvery, 3u);
    EXPECT_DOUBLE_EQ(*EffectiveSeconds(n.options), kDefaultFileSeconds);
}

TEST(SimOptions, LiveOutputsAndTheirDefaults) {
    const auto d = ParseSimOptions({});
    ASSERT_TRUE(d.Ok()) << d.error;
    EXPECT_EQ(d.options.outputKind, OutputKind::Listen);
    EXPECT_EQ(d.options.listen.host, "127.0.0.1");
    EXPECT_EQ(d.options.listen.port, 9090);
    EXPECT_TRUE(d.options.paced);
    EXPECT_FALSE(EffectiveSeconds(d.options)) << "a live target runs until stopped";
    EXPECT_FALSE(d.options.version);
    // Exactly the classic gains, not their dB values converted back, so default streams keep their bytes.
    EXPECT_EQ(d.options.stream.signal.echoGain, 0.35);
    EXPECT_EQ(d.options.stream.signal.residualEcho, 0.1);
    EXPECT_EQ(d.options.stream.signal.nearTalkEverySeconds, 0.0);
    EXPECT_TRUE(d.options.stream.signal.noise);
    const auto v = ParseSimOptions({"--seconds", "2", "--version"});
    ASSERT_TRUE(v.Ok()) << v.error;
    EXPECT_TRUE(v.options.version);
    EXPECT_NE(SimUsage().find("  --version "), std::string::npos);

    const auto l = ParseSimOptions({"--listen=[::1]:0", "--as-fast-as-possible", "--once",
                                    "--drop-connection-after", "0.25", "--seconds", "3"});
    ASSERT_TRUE(l.Ok()) << l.error;
    EXPECT_EQ(l.options.outputKind, OutputKind::Listen);
    EXPECT_EQ(l.options.listen.host, "::1");
    EXPECT_EQ(l.options.listen.port, 0);
    EXPECT_FALSE(l.options.paced);
    EXPECT_TRUE(l.options.once);
    EXPECT_DOUBLE_EQ(*l.options.dropAfter, 0.25);
    EXPECT_DOUBLE_EQ(*EffectiveSeconds(l.options), 3.0);
    EXPECT_FALSE(l.options.dropMidFrame);
    EXPECT_TRUE(l.options.logPath.empty());

    const auto m = ParseSimOptions({"--drop-connection-after=2", "--drop-mid-frame", "--log", "sent.log"});
    ASSERT_TRUE(m.Ok()) << m.error;
    EXPECT_TRUE(m.options.dropMidFrame);
    EXPECT_EQ(m.options.logPath, "sent.log");

    const auto p = ParseSimOptions({"--pty"});
    ASSERT_TRUE(p.Ok()) << p.error;
    EXPECT_EQ(p.options.outputKind, OutputKind::Pty);

    const auto s = ParseSimOptions({"--output", "-"});
    ASSERT_TRUE(s.Ok()) << s.error;
    EXPECT_EQ(s.options.outputKind, OutputKind::File);
    EXPECT_FALSE(EffectiveSeconds(s.options)) << "standard output is endless unless --seconds says";
}

TEST(SimOptions, BadValuesAreUsageErrorsNamingTheValidOnes) {
    struct Case {
        std::vector<std::string> args;
        std::string mustMention;
    };
    const Case cases[] = {
        {{"--protocol", "newer"}, "new, old"},
        {{"--format", "8k5"}, "\"24 Ksps, 2.67ms\""},
        {{"--channels", "0"}, "1..5"},
        {{"--channels", "6"}, "1..5"},
        {{"--channels", "2x"}, "1..5"},
        {{"--platform", "ARM"}, "General, Kalimba"},
        {{"--echo-delay-ms", "1001"}, "0..1000"},
        {{"--echo-delay-ms", "-1"}, "0..1000"},
        {{"--seconds", "0"}, "above 0"},
        {{"--seconds", "abc"}, "above 0"},
        {{"--garbage-every", "-3"}, "0 = off"},
        {{"--seed", "1.5"}, "0.."},
        {{"--start-counter", "4294967296"}, "0..4294967295"},
        {{"--bogus"}, "unknown option --bogus"},
        {{"--seed"}, "needs a value"},
        {{"--big-endian=yes"}, "takes no value"},
        {{"--protocol", "old", "--bad-checksum-every", "2"}, "no checksum"},
        {{"--protocol=old", "--unknown-tag-every=2"}, "no tags"},
        {{"--listen", "localhost"}, "HOST:PORT"},
        {{"--listen", "127.0.0.1:65536"}, "0..65535"},
        {{"--listen", ":9090"}, "HOST:PORT"},
        {{"--listen", "::1:9090"}, "HOST:PORT"},
        {{"--drop-connection-after", "0"}, "above 0"},
        {{"--pty=yes"}, "takes no value"},
        {{"--output", "x.bin", "--pty"}, "--output and --pty exclude each other"},
        {{"--pty", "--listen", "127.0.0.1:1"}, "exclude each other"},
        {{"--pty", "--once"}, "--once applies to the TCP listener only"},
        {{"--output=-", "--drop-connection-after=1"}, "--drop-connection-after applies to the TCP listener"},
        {{"--drop-mid-frame"}, "needs --drop-connection-after"},
        {{"--drop-mid-frame=1", "--drop-connection-after=1"}, "takes no value"},
        {{"--log="}, "a file name"},
        {{"--erl-db", "-1"}, "decibels 0..100"},
        {{"--erl-db=nan"}, "decibels 0..100"},
        {{"--cancel-db", "100.5"}, "decibels 0..100"},
        {{"--cancel-db", "inf"}, "decibels 0..100"},
        {{"--near-talk-every", "0"}, "above 0"},
        {{"--near-talk-every=-2"}, "above 0"},
        {{"--near-talk-every", "nan"}, "above 0"},
        {{"--no-noise=1"}, "takes no value"},
    };
    for (const Case& c : cases) {
        const auto r = ParseSimOptions(c.args);
        EXPECT_FALSE(r.Ok()) << c.args[0];
        EXPECT_NE(r.error.find(c.mustMention), std::string::npos) << r.error;
    }
}

} // namespace
} // namespace vintrel::sim

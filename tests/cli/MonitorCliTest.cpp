// vintrel-sim serving on loopback, vintrel-cli monitor counting: both real processes.
#include "../sim/SimChildProcess.h"
#include "sim/StreamGenerator.h"
#include "support/CliRunner.h"

#include <gtest/gtest.h>

namespace vintrel {
using test::RunCli;

TEST(MonitorCli, CountsWhatTheSimulatorInjected) {
    struct Case {
        const char* protocol;
        const char* format;
        bool be;
    };
    for (const Case& c : {Case{"new", "16k2", false}, Case{"old", "8k4", true}}) {
        SCOPED_TRACE(std::string(c.protocol) + " " + c.format);
        const bool isNew = std::string(c.protocol) == "new";
        std::vector<std::string> args = {"--listen",
                                         "127.0.0.1:0",
                                         "--once",
                                         "--as-fast-as-possible",
                                         "--protocol",
                                         c.protocol,
                                         "--format",
                                         c.format,
                                         "--seconds",
                                         "3",
                                         "--skip-frame-every",
                                         "400",
                                         "--garbage-every",
                                         "77"};
        if (isNew) args.insert(args.end(), {"--bad-checksum-every", "101", "--unknown-tag-every", "333"});
        if (c.be) args.push_back("--big-endian");
        sim::test::SimChildProcess sim(args);
        ASSERT_TRUE(sim.Started());
        const auto line = sim.ReadLine(std::chrono::seconds(5));
        ASSERT_TRUE(line && line->rfind("listening on ", 0) == 0) << line.value_or("");
        const std::string address = line->substr(13);

        sim::StreamConfig cfg;
        cfg.protocol = isNew ? sim::Protocol::New : sim::Protocol::Old;
        cfg.format = *ParseFormatName(c.format);
        cfg.bigEndian = c.be;
        cfg.damage = {.badChecksumEvery = isNew ? 101u : 0u,
                      .skipFrameEvery = 400,
                      .garbageEvery = 77,
                      .unknownTagEvery = isNew ? 333u : 0u};
        sim::DamageCounts counts;
        sim::GenerateStream(cfg, sim::FramesForSeconds(GetStreamFormat(cfg.format), 3), &counts);

        const auto r = RunCli("monitor --connect " + address + " --format " + c.format + " --seconds 2" +
                              (c.be ? " --big-endian" : ""));
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(test::ValueAfter(r.out, "Total frames: "), counts.framesEmitted) << r.out;
        EXPECT_EQ(test::ValueAfter(r.out, "Checksum errors: "), counts.damagedFrames) << r.out;
        EXPECT_EQ(test::ValueAfter(r.out, "Inconsistent frames: "), counts.skippedFrames) << r.out;
        EXPECT_EQ(sim.Wait(std::chrono::seconds(5)), 0);
    }
}

TEST(MonitorCli, SerialLinkThroughThePseudoTerminalOfTheSimulator) {
    sim::test::SimChildProcess sim({"--pty", "--format", "16k4", "--protocol", "old", "--seconds", "3"});
    ASSERT_TRUE(sim.Started());
    const auto line = sim.ReadLine(std::chrono::seconds(5));
    ASSERT_TRUE(line && line->rfind("pty ", 0) == 0) << line.value_or("");
    const auto r = RunCli("monitor --serial " + line->substr(4) + " --baud 921600 --format 16k4 --seconds 2");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // Real time: about 2 s of "16 Ksps, 4 ms" frames, 250 a second, none damaged.
    EXPECT_GT(test::ValueAfter(r.out, "Total frames: "), 350u) << r.out;
    EXPECT_EQ(test::ValueAfter(r.out, "Checksum errors: "), 0u) << r.out;
    EXPECT_EQ(test::ValueAfter(r.out, "Inconsistent frames: "), 0u) << r.out;
}

TEST(MonitorCli, ConnectionThatCannotBeOpened) {
    auto r = RunCli("monitor --connect 127.0.0.1:1 --seconds 1");
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_NE(r.out.find("TCP/IP error: "), std::string::npos) << r.out;
    r = RunCli("monitor --connect localhost:9090 --seconds 1");
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_NE(r.out.find("Wrong addr: port localhost:9090"), std::string::npos) << r.out;
    r = RunCli("monitor --serial /dev/nonexistent-tty --seconds 1");
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_EQ(RunCli("monitor --connect 1.2.3.4:5 --serial /dev/x").exitCode, 2);
    EXPECT_EQ(RunCli("monitor --format 7k7").exitCode, 2);
}

} // namespace vintrel

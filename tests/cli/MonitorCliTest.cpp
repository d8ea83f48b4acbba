// vintrel-sim serving on loopback, vintrel-cli monitor counting: both real processes.
#include "../sim/SimChildProcess.h"
#include "sim/StreamGenerator.h"
#include "support/CliRunner.h"

#include "../connection/TcpTestSockets.h"
#include "connection/SerialPorts.h"
#include "support/FrameBuilder.h"
#include "support/JsonValue.h"
#include "support/PseudoTerminal.h"
#include "support/ScratchDir.h"
#include "support/ScriptedTarget.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <sys/wait.h>
#include <unistd.h>

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

        // Until every frame sent has come, however busy the machine (the minute is a mere cap).
        // The new protocol's run says it in JSON Lines.
        const auto r = RunCli("monitor --connect " + address + " --format " + c.format + " --frames " +
                                  std::to_string(counts.framesEmitted) + " --seconds 60" +
                                  (c.be ? " --big-endian" : "") + (isNew ? " --json" : ""),
                              "", isNew);
        if (isNew) {
            std::vector<test::Json> lines;
            ASSERT_NO_THROW(lines = test::JsonLinesOf(r.out)) << r.out;
            ASSERT_FALSE(lines.empty());
            std::string warnings;
            for (const test::Json& w : test::OfType(lines, "warning"))
                warnings += ": " + w["message"].Str() + "\n";
            EXPECT_TRUE(test::RanWithoutComplaint(r.exitCode, warnings)) << r.out;
            const test::Json& s = lines.back();
            ASSERT_EQ(s["type"].Str(), "summary");
            EXPECT_EQ(test::OfType(lines, "summary").size(), 1u);
            EXPECT_EQ(s["total_frames"].Num(), counts.framesEmitted);
            EXPECT_EQ(s["checksum_errors"].Num(), counts.damagedFrames);
            EXPECT_EQ(s["inconsistent_frames"].Num(), counts.skippedFrames);
            EXPECT_EQ(s["exit_status"].Num(), r.exitCode);
        } else {
            EXPECT_TRUE(test::RanWithoutComplaint(r.exitCode, r.out)) << r.out;
            EXPECT_EQ(test::ValueAfter(r.out, "Total frames: "), counts.framesEmitted) << r.out;
            EXPECT_EQ(test::ValueAfter(r.out, "Checksum errors: "), counts.damagedFrames) << r.out;
            EXPECT_EQ(test::ValueAfter(r.out, "Inconsistent frames: "), counts.skippedFrames) << r.out;
            EXPECT_EQ(test::ValueAfter(r.out, "Malformed chunks: "), 0u) << r.out;
        }
        EXPECT_EQ(sim.Wait(std::chrono::seconds(5)), 0);
    }
}

TEST(MonitorCli, AConnectionTheTargetResetsIsOneLinkDropMadeGoodOnce) {
    // Real time, 250 frames a second; each connection is reset after 250 frames and the next one
    // goes on with the stream. The monitor stops 60 frames into the second connection, long
    // before its reset, and its own closing is no drop.
    sim::test::SimChildProcess sim(
        {"--listen", "127.0.0.1:0", "--format", "8k4", "--drop-connection-after", "1", "--seconds", "30"});
    ASSERT_TRUE(sim.Started());
    const auto line = sim.ReadLine(std::chrono::seconds(5));
    ASSERT_TRUE(line && line->rfind("listening on ", 0) == 0) << line.value_or("");
    const auto r =
        RunCli("monitor --connect " + line->substr(13) + " --frames 310 --seconds 60 --json", "", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    std::vector<test::Json> lines;
    ASSERT_NO_THROW(lines = test::JsonLinesOf(r.out)) << r.out;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["type"].Str(), "summary");
    EXPECT_EQ(lines.back()["link_drops"].Num(), 1) << r.out;
    EXPECT_EQ(lines.back()["reconnects"].Num(), 1) << r.out;
    // 310 frames at 250 a second take more than a second: a status came, with the counters and
    // the status line, never more frames than the end counted.
    const auto status = test::OfType(lines, "status");
    ASSERT_FALSE(status.empty()) << r.out;
    for (const test::Json& s : status) {
        EXPECT_LE(s["total_frames"].Num(), lines.back()["total_frames"].Num());
        EXPECT_TRUE(s.Has("link_drops") && s.Has("reconnects") && s.Has("checksum_errors"));
        EXPECT_NO_THROW(s["status"].Str());
    }
}

// Real-time targets on loopback: a format or byte order that the stream contradicts is named
// while the stream goes on (the verdict comes 2.5 s after the first frame); a match says nothing.
// A recording goes on too, and its files are written before it ends with exit status 4.
TEST(MonitorCli, TheStreamsRateAndFramesNameTheFormatThatFits) {
    struct Case {
        sim::StreamConfig target;
        std::string options;
        std::string said; // empty: all is well
        bool record = false;
    };
    const std::string rate32 =
        "and carry 32 samples per channel; formats that fit: \"16 Ksps, 2 ms\" (16k2)\n";
    using F = DataStreamFormat;
    const auto target = [](F format, sim::Protocol protocol = sim::Protocol::New, bool bigEndian = false) {
        sim::StreamConfig c;
        c.format = format;
        c.protocol = protocol;
        c.bigEndian = bigEndian;
        return c;
    };
    const std::vector<Case> cases = {
        {target(F::Ksps16Ms2), "--format 8k4", rate32},
        {target(F::Ksps16Ms2), "--format 8k4", rate32, true},
        {target(F::Ksps16Ms4, sim::Protocol::Old), "--format 8k4",
         "and carry 64 samples per channel; formats that fit: \"16 Ksps, 4 ms\" (16k4)\n"},
        {target(F::Ksps8Ms4, sim::Protocol::New, true), "--format 8k4",
         "the stream is big-endian; byte order that fits: \"Big Endian\" on (--big-endian)\n"},
        {target(F::Ksps24Ms2_67, sim::Protocol::Old, true), "--format 24k2.67 --big-endian", ""},
    };
    test::ScratchDir dir; // one folder for the test: only the recording writes into it
    std::vector<std::future<void>> runs;
    for (const Case& c : cases)
        // One after another: five live receivers at once on a loaded two-core machine fall so far
        // behind that the frame rate they take the frames at no longer tells the target's.
        runs.push_back(std::async(std::launch::deferred, [&c, &dir] {
            // Frames made beforehand and sent on time: a target that keeps its rate on a busy
            // machine, as a real one does.
            const double periodMs = double(GetStreamFormat(c.target.format).MsPerFrame);
            test::ScriptedTarget target(
                test::ScriptedTarget::FromSimulator(c.target, uint64_t(7000 / periodMs)));
            const auto r = RunCli(
                (c.record ? "record --seconds 8 --no-stamp --out " + dir.Path() : "monitor --seconds 5") +
                " --connect " + target.Address() + " " + c.options);
            if (c.said.empty()) {
                EXPECT_EQ(r.exitCode, 0) << r.out;
                EXPECT_EQ(r.out.find("fit"), std::string::npos) << r.out;
            } else {
                EXPECT_EQ(r.exitCode, 4) << r.out;
                EXPECT_NE(r.out.find(c.said), std::string::npos) << c.options << "\n" << r.out;
                if (c.record) {
                    EXPECT_NE(r.out.find(" 1 consistent fragment(s)"), std::string::npos) << r.out;
                }
                if (c.said[0] == 'a') {
                    EXPECT_GT(test::ValueAfter(r.out, "Total frames: "), 0u) << "it goes on";
                }
            }
        }));
    for (auto& r : runs) r.get();
}

TEST(MonitorCli, SerialLinkThroughThePseudoTerminalOfTheSimulator) {
    sim::test::SimChildProcess sim({"--pty", "--format", "16k4", "--protocol", "old", "--seconds", "3"});
    ASSERT_TRUE(sim.Started());
    const auto line = sim.ReadLine(std::chrono::seconds(5));
    ASSERT_TRUE(line && line->rfind("pty ", 0) == 0) << line.value_or("");
    const auto r = RunCli("monitor --serial " + line->substr(4) +
                          " --baud 921600 --format 16k4 --frames 500 --seconds 60");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // Real time: 2 s of "16 Ksps, 4 ms" frames, 250 a second, none damaged. A frame goes only
    // with a serial link given up after 32 ms in which the busy kernel held its rest back.
    EXPECT_GE(test::ValueAfter(r.out, "Total frames: "), 500u) << r.out;
    EXPECT_LE(test::ValueAfter(r.out, "Total frames: "), 750u) << r.out;
    EXPECT_EQ(test::ValueAfter(r.out, "Checksum errors: "), 0u) << r.out;
    EXPECT_LE(test::ValueAfter(r.out, "Inconsistent frames: "), test::ValueAfter(r.out, "Lost sync: "))
        << r.out;
}

TEST(MonitorCli, CtrlCDuringALongSerialReadEndsAtOnce) {
    // Two frames 40 000 bytes long, then silence: the monitor waits in a read of one frame
    // length, 40 s of the port's time-out.
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.Ok());

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execl(VINTREL_CLI_PATH, "vintrel-cli", "monitor", "--serial", pty.Slave().c_str(), "--baud", "921600",
              "--seconds", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the port is open
    pty.Write(test::LongFrames());
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // synchronised, reading the next frame

    const auto t0 = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    int status = -1;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    if (ended == 0) kill(pid, SIGKILL), waitpid(pid, &status, 0);
    EXPECT_LT(ms, 1000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(MonitorCli, ConnectsByNameAndOverIPv6) {
    struct Case {
        const char* listen;
        const char* connectHost;
    };
    for (const Case& c : {Case{"127.0.0.1:0", "localhost"}, Case{"[::1]:0", "[::1]"}}) {
        SCOPED_TRACE(c.connectHost);
        const bool v6 = std::string(c.listen)[0] == '[';
        if (v6 && !test::HaveIPv6Loopback()) GTEST_SKIP() << "no IPv6 loopback on this machine";
        sim::test::SimChildProcess sim(
            {"--listen", c.listen, "--once", "--as-fast-as-possible", "--format", "8k4", "--seconds", "1"});
        ASSERT_TRUE(sim.Started());
        const auto line = sim.ReadLine(std::chrono::seconds(5));
        ASSERT_TRUE(line && line->rfind("listening on ", 0) == 0) << line.value_or("");
        const std::string port = line->substr(line->rfind(':') + 1);
        const auto r = RunCli(std::string("monitor --connect ") + c.connectHost + ":" + port +
                              " --format 8k4 --frames 250 --seconds 60");
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(test::ValueAfter(r.out, "Total frames: "), 250u) << r.out;
        EXPECT_EQ(sim.Wait(std::chrono::seconds(5)), 0);
    }
}

TEST(MonitorCli, ConnectionThatCannotBeOpenedSaysWhy) {
    struct Case {
        std::string args;
        int exit;
        std::string says;
    };
    const std::string dir = std::filesystem::temp_directory_path().string();
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.Ok());
    SerialPort holder; // another program holds this port
    ASSERT_TRUE(holder.OpenUART(pty.Slave(), "115200").Opened);
    const Case cases[] = {
        {"--connect 127.0.0.1:1", 3, "TCP/IP error: Connection refused (127.0.0.1:1)"},
        {"--connect 10.0.0.256:9090", 3, "Wrong addr: port 10.0.0.256:9090"},
        {"--connect nosuch.invalid:9090", 3, "TCP/IP error: Cannot look up nosuch.invalid: "},
        {"--serial /dev/nonexistent-tty", 3,
         "UART opening error: /dev/nonexistent-tty: No such file or directory"},
        {"--serial /dev/null", 3, "UART opening error: /dev/null is not a serial port"},
        {"--serial " + dir, 3, "UART opening error: " + dir + ": Is a directory"},
        {"--serial " + pty.Slave(), 3,
         "UART opening error: " + pty.Slave() + " is in use by another program"},
        {"--serial /dev/null --baud abc", 2, "--baud needs a whole number"},
        {"--serial /dev/null --baud 9600x", 2, "--baud needs a whole number"},
        {"--ftdi abc", 2, "--ftdi needs a whole number"},
        {"--connect 1.2.3.4:5 --serial /dev/x", 2, "give one of"},
        {"--format 7k7", 2, "unknown format"},
    };
    for (const Case& c : cases) {
        const auto r = RunCli("monitor " + c.args + " --seconds 1");
        EXPECT_EQ(r.exitCode, c.exit) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }
    // The library file tried and the loader's reason, whichever file was asked for.
    const auto r = RunCli("monitor --ftdi 1 --seconds 1", "VINTREL_FTD2XX=/nonexistent/libftd2xx-test.so");
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_NE(
        r.out.find("could not be loaded: /nonexistent/libftd2xx-test.so: cannot open shared object file: "
                   "No such file or directory"),
        std::string::npos)
        << r.out;
}

} // namespace vintrel

// vintrel-sim as a live target: a real process serving TCP clients or a pseudo-terminal, read
// the way a receiver reads it. Every wait is bounded; a child still running at the end is killed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "sim/SimChildProcess.h"
#include "sim/SimOptions.h"
#include "sim/SimStreamScan.h"
#include "sim/StreamGenerator.h"
#include "stream/FrameLayout.h"
#include "support/ScratchDir.h"

#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace vintrel::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::SimChildProcess;

constexpr auto kStartTimeout = 5s;
constexpr auto kReadTimeout = 10s;
constexpr auto kExitTimeout = 5s;

// The bytes GenerateStream makes for the config the same arguments give.
Bytes Expected(const std::vector<std::string>& args, double seconds, DamageCounts* counts = nullptr) {
    const SimOptionsResult r = ParseSimOptions(args);
    EXPECT_TRUE(r.Ok()) << r.error;
    return GenerateStream(r.options.stream,
                          FramesForSeconds(GetStreamFormat(r.options.stream.format), seconds), counts);
}

struct Received {
    Bytes bytes;
    int error = 0; // errno that ended the reading; 0 for an orderly end of stream
    bool timedOut = false;
};

// Reads until end of stream, an error, `limit` bytes or the time-out.
Received ReadAll(int fd, std::chrono::milliseconds timeout = kReadTimeout, size_t limit = SIZE_MAX) {
    Received r;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    uint8_t buf[16384];
    while (r.bytes.size() < limit) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            r.timedOut = true;
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        const ssize_t n = read(fd, buf, std::min(sizeof buf, limit - r.bytes.size()));
        if (n > 0) {
            r.bytes.insert(r.bytes.end(), buf, buf + n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR && errno != EAGAIN) {
            r.error = errno;
            break;
        }
    }
    return r;
}

class Socket {
public:
    explicit Socket(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Socket() {
        if (fd_ >= 0) close(fd_);
    }
    bool Connected() const { return connected_; }
    int fd() const { return fd_; }

private:
    int fd_;
    bool connected_ = false;
};

// Starts a listener on a free loopback port; returns the port, 0 on failure.
uint16_t StartListener(SimChildProcess& child) {
    if (!child.Started()) return 0;
    const auto line = child.ReadLine(kStartTimeout);
    const std::string prefix = "listening on 127.0.0.1:";
    if (!line || line->rfind(prefix, 0) != 0) {
        ADD_FAILURE() << "no listening line; got \"" << line.value_or("") << "\", stderr: " << child.Stderr();
        return 0;
    }
    return static_cast<uint16_t>(std::stoi(line->substr(prefix.size())));
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(SimLive, EachTcpClientGetsTheWholeGeneratedStream) {
    const std::vector<std::string> stream = {"--seed",
                                             "42",
                                             "--garbage-every",
                                             "7",
                                             "--skip-frame-every",
                                             "11",
                                             "--bad-checksum-every",
                                             "5",
                                             "--unknown-tag-every",
                                             "13"};
    SimChildProcess sim(With(stream, {"--listen", "127.0.0.1:0", "--as-fast-as-possible", "--seconds", "1"}));
    const uint16_t port = StartListener(sim);
    ASSERT_NE(port, 0);
    DamageCounts counts;
    const Bytes expected = Expected(stream, 1.0, &counts);

    for (int client = 1; client <= 2; ++client) {
        SCOPED_TRACE("client " + std::to_string(client));
        Socket s(port);
        ASSERT_TRUE(s.Connected());
        const Received r = ReadAll(s.fd());
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.error, 0) << std::strerror(r.error);
        EXPECT_EQ(r.bytes.size(), expected.size());
        EXPECT_TRUE(r.bytes == expected);
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(kExitTimeout), 0);
    // Each client had a stream of its own; the summary adds them up.
    const std::string summary = "(2 clients): " + std::to_string(2 * counts.framesEmitted) + " frames (" +
                                std::to_string(2 * counts.framesGenerated) + " generated";
    EXPECT_NE(sim.Stderr().find(summary), std::string::npos) << sim.Stderr();
    EXPECT_NE(sim.Stderr().find(std::to_string(2 * counts.badChecksums) + " bad checksums"),
              std::string::npos);
}

TEST(SimLive, ClientLeavingEarlyIsFollowedByAFreshStreamAndOnceEndsTheRun) {
    const std::vector<std::string> stream = {"--protocol", "old", "--big-endian", "--format", "16k4"};
    SimChildProcess sim(With(stream, {"--listen=127.0.0.1:0", "--as-fast-as-possible", "--seconds=0.5"}));
    const uint16_t port = StartListener(sim);
    ASSERT_NE(port, 0);
    const Bytes expected = Expected(stream, 0.5);
    {
        Socket early(port);
        ASSERT_TRUE(early.Connected());
        const Received r = ReadAll(early.fd(), kReadTimeout, 1000);
        ASSERT_EQ(r.bytes.size(), 1000u);
        EXPECT_TRUE(std::equal(r.bytes.begin(), r.bytes.end(), expected.begin()));
    }
    Socket next(port);
    ASSERT_TRUE(next.Connected());
    EXPECT_TRUE(ReadAll(next.fd()).bytes == expected) << "the next client starts from the first frame";
    // Without --once it keeps waiting for clients until a signal ends it.
    EXPECT_FALSE(sim.Wait(100ms).has_value());
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(kExitTimeout), 0);

    SimChildProcess once(
        With(stream, {"--listen", "127.0.0.1:0", "--as-fast-as-possible", "--seconds", "0.5", "--once"}));
    const uint16_t oncePort = StartListener(once);
    ASSERT_NE(oncePort, 0);
    Socket only(oncePort);
    ASSERT_TRUE(only.Connected());
    EXPECT_TRUE(ReadAll(only.fd()).bytes == expected);
    EXPECT_EQ(once.Wait(kExitTimeout), 0) << "--once exits after the first client by itself";
}

TEST(SimLive, DroppedConnectionIsResetAndTheNextClientContinuesTheCounter) {
    const std::vector<std::string> stream = {"--seed", "7", "--start-counter", "1000"};
    SimChildProcess sim(With(stream, {"--listen", "127.0.0.1:0", "--drop-connection-after", "0.2"}));
    const uint16_t port = StartListener(sim);
    ASSERT_NE(port, 0);
    // One continuous stream cut every 50 frames; a reset may lose what was still in flight.
    const Bytes first50 = Expected(stream, 0.2);
    const Bytes all100 = Expected(stream, 0.4);

    size_t offset = 0;
    for (int client = 1; client <= 2; ++client) {
        SCOPED_TRACE("client " + std::to_string(client));
        Socket s(port);
        ASSERT_TRUE(s.Connected());
        const Received r = ReadAll(s.fd());
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.error, ECONNRESET) << "an abortive close, not an orderly end";
        ASSERT_GT(r.bytes.size(), first50.size() / 2);
        ASSERT_LE(r.bytes.size(), all100.size() - offset);
        EXPECT_TRUE(std::equal(r.bytes.begin(), r.bytes.end(), all100.begin() + offset));
        const auto scan = test::ScanStream(r.bytes, true, false, 32);
        ASSERT_FALSE(scan.frames.empty());
        EXPECT_EQ(test::NewCounter(scan.frames.front().words), 1000u + 50u * (client - 1));
        offset = first50.size();
    }
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(kExitTimeout), 0);
}

// The key=value words of the log lines that begin with `keyword`, in order.
using LogFields = std::map<std::string, std::string>;
std::vector<LogFields> LogLines(const std::string& path, const std::string& keyword) {
    std::vector<LogFields> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string word;
        if (!(words >> word) || word != keyword) continue;
        LogFields f;
        while (words >> word)
            if (const size_t eq = word.find('='); eq != std::string::npos)
                f[word.substr(0, eq)] = word.substr(eq + 1);
        out.push_back(f);
    }
    return out;
}

uint64_t Num(const LogFields& f, const std::string& key) {
    const auto it = f.find(key);
    EXPECT_NE(it, f.end()) << key;
    return it == f.end() ? 0 : std::stoull(it->second);
}

TEST(SimLive, LogSaysWhereEachConnectionBeganAndWhatWentOutWhole) {
    // Drops in the middle of a frame: each connection carries whole frames and then the start of
    // one more; the log's offsets, byte counts and damage must match what went out, and the
    // clients must have received it but for the bytes the log says the reset left unsent.
    vintrel::test::ScratchDir dir;
    const std::vector<std::string> stream = {"--seed",
                                             "9",
                                             "--garbage-every",
                                             "5",
                                             "--skip-frame-every",
                                             "7",
                                             "--bad-checksum-every",
                                             "3",
                                             "--unknown-tag-every",
                                             "4"};
    SimChildProcess sim(With(stream, {"--listen", "127.0.0.1:0", "--drop-connection-after", "0.2",
                                      "--drop-mid-frame", "--log", dir.File("sent.log")}));
    const uint16_t port = StartListener(sim);
    ASSERT_NE(port, 0);
    const Bytes all = Expected(stream, 1.0);

    std::vector<Bytes> got;
    for (int client = 0; client < 3; ++client) {
        Socket s(port);
        ASSERT_TRUE(s.Connected());
        const Received r = ReadAll(s.fd());
        EXPECT_EQ(r.error, ECONNRESET);
        got.push_back(r.bytes);
    }
    sim.Signal(SIGTERM);
    ASSERT_EQ(sim.Wait(kExitTimeout), 0);

    const auto connects = LogLines(dir.File("sent.log"), "connect");
    auto ends = LogLines(dir.File("sent.log"), "end");
    ASSERT_EQ(LogLines(dir.File("sent.log"), "begin").size(), 1u);
    ASSERT_EQ(LogLines(dir.File("sent.log"), "total").size(), 1u);
    ASSERT_GE(connects.size(), 3u);
    ASSERT_GE(ends.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("connection " + std::to_string(i + 1));
        const uint64_t offset = Num(connects[i], "offset"), bytes = Num(ends[i], "bytes"),
                       cut = Num(ends[i], "cut"), unsent = Num(ends[i], "unsent");
        EXPECT_EQ(ends[i]["how"], "dropped");
        // The reset loses what was written but not yet transmitted (a client on a busy machine
        // may be late to read, and small writes wait): the client has all the rest, in order.
        ASSERT_LE(unsent, bytes);
        ASSERT_EQ(got[i].size(), bytes - unsent);
        ASSERT_LE(offset + bytes, all.size());
        EXPECT_TRUE(std::equal(got[i].begin(), got[i].end(), all.begin() + long(offset)));

        // The log describes what went out.
        const Bytes written(all.begin() + long(offset), all.begin() + long(offset + bytes));
        const auto scan = test::ScanStream(written, true, false, 32);
        EXPECT_EQ(scan.trailingBytes, cut) << "the frame cut short is all that follows the whole frames";
        EXPECT_GE(cut, 1u);
        uint64_t bad = 0, unknown = 0, damaged = 0, garbage = 0;
        for (const auto& f : scan.frames) {
            size_t end = 0;
            const auto chunks = test::WalkChunks(f.words, end);
            const bool b = f.words.back() != FrameChecksum(f.words.data(), f.words.size());
            const bool u = !chunks.empty() && chunks.back().tag == 0x8005;
            bad += b;
            unknown += u;
            damaged += b || u;
            garbage += f.bytesSkippedBefore;
        }
        EXPECT_EQ(Num(ends[i], "sent-frames"), scan.frames.size());
        EXPECT_EQ(Num(ends[i], "bad-checksums"), bad);
        EXPECT_EQ(Num(ends[i], "unknown-tags"), unknown);
        EXPECT_EQ(Num(ends[i], "damaged"), damaged);
        EXPECT_EQ(Num(ends[i], "garbage-bytes"), garbage);
        // The next connection begins behind the whole of the frame that was cut, with the frame
        // after it: its first number is this connection's first plus the frames generated here.
        if (i + 1 < 3) {
            const uint64_t next = Num(connects[i + 1], "offset");
            ASSERT_GT(next, offset + bytes);
            const Bytes rest(all.begin() + long(offset + bytes - cut), all.begin() + long(next));
            const auto cutFrame = test::ScanStream(rest, true, false, 32);
            EXPECT_EQ(cutFrame.frames.size(), 1u);
            EXPECT_EQ(cutFrame.trailingBytes, 0u);
            EXPECT_EQ(Num(connects[i + 1], "frame"), Num(connects[i], "frame") + Num(ends[i], "frames"));
        }
    }
}

TEST(SimLive, FileOutputLogsOneStretchWithTheSummarysCounts) {
    vintrel::test::ScratchDir dir;
    const std::vector<std::string> stream = {"--garbage-every",      "6", "--skip-frame-every",  "10",
                                             "--bad-checksum-every", "4", "--unknown-tag-every", "9"};
    SimChildProcess sim(
        With(stream, {"--output", dir.File("s.bin"), "--seconds", "0.5", "--log", dir.File("s.log")}));
    ASSERT_EQ(sim.Wait(kExitTimeout), 0) << sim.Stderr();
    DamageCounts counts;
    const Bytes expected = Expected(stream, 0.5, &counts);
    struct stat st {};
    ASSERT_EQ(stat(dir.File("s.bin").c_str(), &st), 0);
    EXPECT_EQ(uint64_t(st.st_size), expected.size());

    auto ends = LogLines(dir.File("s.log"), "end");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(Num(LogLines(dir.File("s.log"), "connect").at(0), "offset"), 0u);
    EXPECT_EQ(Num(ends[0], "bytes"), expected.size());
    EXPECT_EQ(Num(ends[0], "cut"), 0u);
    EXPECT_EQ(ends[0]["how"], "ended");
    EXPECT_EQ(Num(ends[0], "sent-frames"), counts.framesEmitted);
    EXPECT_EQ(Num(ends[0], "skipped"), counts.skippedFrames);
    EXPECT_EQ(Num(ends[0], "garbage-bursts"), counts.garbageBursts);
    EXPECT_EQ(Num(ends[0], "damaged"), counts.damagedFrames);
    EXPECT_EQ(Num(LogLines(dir.File("s.log"), "total").at(0), "generated"), counts.framesGenerated);
}

TEST(SimLive, PtySlaveDeliversTheStreamUntouched) {
    // The stream is full of bytes a cooked terminal would change or swallow (CR, NL, XON/XOFF,
    // interrupt characters), so any translation left on shows as a difference.
    const std::vector<std::string> stream = {"--seed", "3", "--garbage-every", "3"};
    SimChildProcess sim(With(stream, {"--pty", "--as-fast-as-possible", "--seconds", "1"}));
    ASSERT_TRUE(sim.Started());
    const auto line = sim.ReadLine(kStartTimeout);
    ASSERT_TRUE(line && line->rfind("pty /dev/", 0) == 0) << line.value_or("") << sim.Stderr();
    const std::string path = line->substr(4);

    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    // Raw already: a receiver that leaves the settings alone gets the bytes untouched too.
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    // The master closes once everything was read: end of file or EIO.
    const Received r = ReadAll(fd);
    close(fd);
    EXPECT_FALSE(r.timedOut);
    EXPECT_TRUE(r.error == 0 || r.error == EIO) << std::strerror(r.error);
    const Bytes expected = Expected(stream, 1.0);
    EXPECT_EQ(r.bytes.size(), expected.size());
    EXPECT_TRUE(r.bytes == expected);
    EXPECT_EQ(sim.Wait(kExitTimeout), 0) << sim.Stderr();
}

TEST(SimLive, RealTimePacingTakesAsLongAsTheStream) {
    SimChildProcess sim(
        {"--listen", "127.0.0.1:0", "--format", "8 Ksps, 4 ms", "--seconds", "0.5", "--once"});
    const uint16_t port = StartListener(sim);
    ASSERT_NE(port, 0);
    const auto start = std::chrono::steady_clock::now();
    Socket s(port);
    ASSERT_TRUE(s.Connected());
    const Received r = ReadAll(s.fd(), 5s);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(r.timedOut);
    EXPECT_TRUE(r.bytes == Expected({}, 0.5));
    EXPECT_GE(took, 0.45);
    EXPECT_LE(took, 0.9);
    EXPECT_EQ(sim.Wait(kExitTimeout), 0);
}

TEST(SimLive, StopSignalEndsAPacedStreamWithASummary) {
    SimChildProcess sim({"--listen", "127.0.0.1:0", "--format", "24k1.33"});
    const uint16_t port = StartListener(sim);
    ASSERT_NE(port, 0);
    Socket s(port);
    ASSERT_TRUE(s.Connected());
    ASSERT_EQ(ReadAll(s.fd(), kReadTimeout, 4000).bytes.size(), 4000u);
    sim.Signal(SIGINT);
    EXPECT_EQ(sim.Wait(2s), 0);
    const std::string err = sim.Stderr();
    EXPECT_NE(err.find("tcp 127.0.0.1:" + std::to_string(port) + " (1 client): "), std::string::npos) << err;
    EXPECT_NE(err.find("injected: 0 bad checksums"), std::string::npos) << err;
}

} // namespace
} // namespace vintrel::sim

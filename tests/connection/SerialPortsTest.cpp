// Serial ports on pseudo-terminals: enumeration over a fake sysfs tree whose device nodes lead
// to pseudo-terminals, opening at standard and custom rates, reading with the time-outs, and
// cancelling reads that would otherwise wait them out.
#include "connection/SerialPorts.h"
#include "TcpTestSockets.h"
#include "connection/SerialTransport.h"
#include "stream/QueueSink.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

namespace vintrel::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

struct Pty {
    Fd Master{posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)};
    std::string Slave =
        grantpt(Master.Get()) == 0 && unlockpt(Master.Get()) == 0 ? ptsname(Master.Get()) : "";
    bool Write(const std::vector<uint8_t>& v) const {
        return write(Master.Get(), v.data(), v.size()) == ssize_t(v.size());
    }
};

class SerialEnumTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(root_);
        fs::create_directories(root_ / "sys");
        fs::create_directories(root_ / "dev");
        options_ = {(root_ / "sys").string(), (root_ / "dev").string()};
    }
    void TearDown() override { fs::remove_all(root_); }
    // A sysfs entry, with or without its device link, and with a pty its device node; uartType
    // is the driver's "type" attribute (none when negative).
    void AddTty(const std::string& name, bool deviceLink, const Pty* pty, int uartType = -1) {
        fs::create_directories(root_ / "sys" / name);
        if (uartType >= 0) std::ofstream(root_ / "sys" / name / "type") << uartType << "\n";
        if (deviceLink) fs::create_directory_symlink(root_, root_ / "sys" / name / "device");
        if (pty) fs::create_symlink(pty->Slave, root_ / "dev" / name);
    }
    std::string Dev(const std::string& name) const { return (root_ / "dev" / name).string(); }

    // The enumeration ends with a clear aimed at its own text, which leaves a message that was
    // on the status line before it (a line of the configuration file) where it was.
    struct EnumSink : QueueSink {
        std::vector<std::string> clears;
        void ClearStatIfContains(const std::string_view* words, int count) override {
            for (int i = 0; i < count; ++i) clears.emplace_back(words[i]);
            QueueSink::ClearStatIfContains(words, count);
        }
    };

    fs::path root_ = fs::temp_directory_path() / ("vintrel-serial-" + std::to_string(getpid()));
    SerialEnumOptions options_;
    PortListModel list_;
};

TEST_F(SerialEnumTest, ListsFreeRealPortsInTheOrderOfTheirNumbers) {
    Pty a, b, c, d, busy, locked;
    AddTty("ttyUSB10", true, &a);
    AddTty("ttyUSB2", true, &b);
    AddTty("ttyACM2", true, &c);
    AddTty("tty5", false, &d);      // a virtual console: no device link
    AddTty("ttyS3", true, nullptr); // known to the kernel, no node to open
    Pty legacy, uart;
    AddTty("ttyS1", true, &legacy, 0); // a UART slot with nothing behind it
    AddTty("ttyS4", true, &uart, 4);
    AddTty("ttyUSB0", true, &busy);
    AddTty("ttyUSB1", true, &locked);
    // Two other holders: one made its port exclusive, one holds the lock on its port.
    Fd holder(open(busy.Slave.c_str(), O_RDWR | O_NOCTTY));
    ASSERT_EQ(ioctl(holder.Get(), TIOCEXCL), 0);
    Fd locker(open(locked.Slave.c_str(), O_RDWR | O_NOCTTY));
    ASSERT_EQ(flock(locker.Get(), LOCK_EX | LOCK_NB), 0);

    EnumSink sink;
    EXPECT_TRUE(SerialPortEnum(list_, options_, &sink));
    EXPECT_EQ(list_.Items, (std::vector<std::string>{" None", Dev("ttyACM2"), Dev("ttyUSB2"), Dev("ttyS4"),
                                                     Dev("ttyUSB10")}));
    EXPECT_EQ(list_.Selected, 1);
    // The listing that opens nothing has the same ports in the same order, and the busy ones too.
    std::vector<std::string> unopened;
    for (const SerialDevice& d : ListSerialDevices(options_)) unopened.push_back(d.Path);
    EXPECT_EQ(unopened, (std::vector<std::string>{Dev("ttyUSB0"), Dev("ttyUSB1"), Dev("ttyACM2"),
                                                  Dev("ttyUSB2"), Dev("ttyS4"), Dev("ttyUSB10")}));
    EXPECT_EQ(sink.StatusChanges(), 2u); // "Populating ports list", then cleared
    EXPECT_EQ(sink.Status(), "");
    EXPECT_EQ(sink.clears, std::vector<std::string>{"Populating ports list"});

    // The holder's claim survives the enumeration, and it keeps OpenUART out too.
    int exclusive = 0;
    ASSERT_EQ(ioctl(holder.Get(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    SerialPort port;
    EXPECT_EQ(port.OpenUART(Dev("ttyUSB0"), "115200").ErrorNumber, EBUSY);
    // The listed ports were released again.
    EXPECT_TRUE(port.OpenUART(Dev("ttyUSB2"), "115200").Opened);

    list_.Items = {"stale"};
    options_.SysfsRoot = (root_ / "missing").string();
    EnumSink failed;
    EXPECT_FALSE(SerialPortEnum(list_, options_, &failed));
    EXPECT_EQ(failed.clears, std::vector<std::string>{"Populating ports list"});
    EXPECT_EQ(list_.Items, std::vector<std::string>{" None"});
    EXPECT_EQ(list_.Selected, 0);
    EXPECT_EQ(SerialComNumber("/dev/ttyUSB12"), 12u);
}

class SerialOpenTest : public ::testing::Test {
protected:
    Pty pty_;
    SerialPort port_;
};

TEST_F(SerialOpenTest, OpensRawEightNOneAtStandardAndCustomRates) {
    UartOpenResult r = port_.OpenUART(pty_.Slave, " 115200 ");
    ASSERT_TRUE(r.Opened) << r.ErrorNumber << " " << r.Message;
    EXPECT_EQ(r.ActualRate, 115200u);
    termios t{};
    ASSERT_EQ(tcgetattr(port_.Fd(), &t), 0);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);

    r = port_.OpenUART(pty_.Slave, "3456789"); // reopening closes the first handle
    ASSERT_TRUE(r.Opened) << r.ErrorNumber << " " << r.Message;
    EXPECT_EQ(r.ActualRate, 3456789u);
}

TEST_F(SerialOpenTest, RejectedSettingsCloseThePortWithTheSetupText) {
    EXPECT_TRUE(UartRateAccepted(100, 104));  // 100 / 4 = 25
    EXPECT_FALSE(UartRateAccepted(100, 105)); // 100 / 5 = 20
    EXPECT_FALSE(UartRateAccepted(100, 99));  // below is never taken

    SerialPort below([](uint32_t readBack) { return readBack - 1; });
    UartOpenResult r = below.OpenUART(pty_.Slave, "12000000");
    EXPECT_FALSE(r.Opened);
    EXPECT_FALSE(below.IsOpen());
    EXPECT_EQ(r.Message, "Error number=0; required baud rate=12000000, actually set BR was 11999999");
    SerialPort above([](uint32_t readBack) { return readBack + readBack / 25; });
    EXPECT_TRUE(above.OpenUART(pty_.Slave, "12000000").Opened);

    EXPECT_EQ(port_.OpenUART(pty_.Slave, "fast").Message, "'fast' is not a valid integer value");
    EXPECT_EQ(port_.OpenUART(pty_.Slave, "0").Message,
              "Error number=22; required baud rate=0, actually set BR was 0");
    EXPECT_EQ(r.Cause, pty_.Slave + ": the rate was not taken (" + r.Message + ")");
}

TEST_F(SerialOpenTest, APortThatDoesNotOpenNamesTheDeviceAndTheReason) {
    SerialPort holder; // holds the pseudo-terminal as another program would
    ASSERT_TRUE(holder.OpenUART(pty_.Slave, "115200").Opened);
    const std::string dir = fs::temp_directory_path().string();
    struct Case {
        std::string device;
        int error;
        std::string cause;
    };
    const Case cases[] = {
        {"/dev/vintrel-no-such-port", ENOENT, "/dev/vintrel-no-such-port: No such file or directory"},
        {"/dev/null", ENOTTY, "/dev/null is not a serial port (Inappropriate ioctl for device)"},
        {dir, EISDIR, dir + ": Is a directory"},
        {pty_.Slave, EBUSY, pty_.Slave + " is in use by another program (Device or resource busy)"},
    };
    for (const Case& c : cases) {
        const UartOpenResult r = port_.OpenUART(c.device, "115200");
        EXPECT_FALSE(r.Opened) << c.device;
        EXPECT_EQ(r.ErrorNumber, c.error) << c.device;
        EXPECT_TRUE(r.Message.empty()) << c.device; // no setup box: the port never opened
        EXPECT_EQ(r.Cause, c.cause);
        EXPECT_FALSE(port_.IsOpen());
    }
    EXPECT_TRUE(holder.IsOpen()); // the holder keeps its claim
    holder.Close();
    EXPECT_TRUE(port_.OpenUART(pty_.Slave, "115200").Opened);
}

TEST_F(SerialOpenTest, WaitingInputIsDiscardedEvenWhenTheTargetNeverPauses) {
    std::atomic<bool> stop{false};
    std::thread target([&] {
        const auto block = Pattern(256, 11);
        while (!stop)
            if (!pty_.Write(block)) std::this_thread::sleep_for(1ms);
    });
    std::this_thread::sleep_for(20ms);
    const auto start = steady_clock::now();
    const bool opened = port_.OpenUART(pty_.Slave, "115200").Opened;
    const auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    stop = true;
    target.join();
    EXPECT_TRUE(opened);
    EXPECT_LT(took, 2000);
}

TEST_F(SerialOpenTest, TransportDeliversBytesUnchangedAndSilenceWithinTheBudget) {
    ASSERT_TRUE(port_.OpenUART(pty_.Slave, "921600").Opened);
    UartTransport transport(port_);
    // Line-editing, flow-control and signal characters pass as plain data.
    std::vector<uint8_t> data = Pattern(200, 13);
    const uint8_t special[] = {0x0D, 0x0A, 0x03, 0x11, 0x13, 0x7F, 0xFF, 0x00, 0x04, 0x1A};
    std::copy(std::begin(special), std::end(special), data.begin());
    EXPECT_EQ(transport.Pending(), 0u);
    ASSERT_TRUE(pty_.Write(data));
    // What waits at the port is counted before anyone reads it.
    const auto giveUp = steady_clock::now() + 5s;
    while (transport.Pending() < data.size() && steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(transport.Pending(), data.size());

    std::vector<uint8_t> got(4000);
    auto start = steady_clock::now();
    const uint32_t n = transport.Read(got.data(), 4000, true).Got;
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(),
              1000); // not the 4010 ms total
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + n), data);

    start = steady_clock::now();
    EXPECT_EQ(transport.Read(got.data(), 50, true).Got, 0u);
    const auto silent = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(silent, 58); // 10 ms + 1 ms per requested byte
    EXPECT_LT(silent, 500);

    // A hung-up port answers like a silent one instead of failing at once.
    pty_.Master.Reset();
    start = steady_clock::now();
    EXPECT_EQ(transport.Read(got.data(), 40, true).Got, 0u);
    EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 45);
}

// A ring-sized read has over a minute of total time-out, and a hung-up port waits it out as
// well; the cancel ends either within the bound. A trickling target keeps sending through the
// cancel: the reads' bytes and what is left in the port must then be all it sent.
TEST_F(SerialOpenTest, CancelEndsARingSizedReadKeepingWhatArrived) {
    enum class Line { Silent, Trickling, HungUp };
    constexpr const char* kNames[] = {"silent", "trickling", "hung up"};
    for (const Line line : {Line::Silent, Line::Trickling, Line::HungUp}) {
        SCOPED_TRACE(kNames[int(line)]);
        Pty pty;
        SerialPort port;
        ASSERT_TRUE(port.OpenUART(pty.Slave, "921600").Opened);
        UartTransport transport(port);
        if (line == Line::HungUp) pty.Master.Reset();
        std::vector<uint8_t> sent, received, buf(65534);
        std::atomic<bool> stop{false};
        // A byte about every half millisecond keeps a read going (it ends after 1 ms without one)
        // without loading the machine more than a real line would.
        std::thread target([&] {
            for (uint8_t b = 0; line == Line::Trickling && !stop; std::this_thread::sleep_for(500us)) {
                b = uint8_t(b * 5 + 1);
                if (write(pty.Master.Get(), &b, 1) == 1) sent.push_back(b);
            }
        });

        TransportRead last;
        int reads = 0;
        const auto latency = ReturnAfterCancel(
            [&] {
                const auto giveUp = steady_clock::now() + seconds(5);
                do {
                    last = transport.Read(buf.data(), uint32_t(buf.size()), true);
                    received.insert(received.end(), buf.begin(), buf.begin() + last.Got);
                    ++reads;
                } while (!last.Failed && steady_clock::now() < giveUp);
            },
            LetItBlock,
            [&] {
                transport.Cancel();
                stop = true; // bytes sent after the cancel are only found in the port
            });
        target.join();
        EXPECT_LT(latency, kCancelBound);
        EXPECT_TRUE(last.Failed);
        if (line != Line::Trickling) {
            EXPECT_EQ(reads, 1); // the one long wait was cut short
        }

        uint8_t rest[256];
        for (uint32_t n; received.size() < sent.size() && (n = port.Read(rest, sizeof rest)) > 0;)
            received.insert(received.end(), rest, rest + n);
        EXPECT_EQ(received, sent);

        const auto start = steady_clock::now();
        EXPECT_TRUE(transport.Read(buf.data(), uint32_t(buf.size()), true).Failed); // later ones at once
        EXPECT_LT(steady_clock::now() - start, kCancelBound);
    }
}

} // namespace
} // namespace vintrel::test

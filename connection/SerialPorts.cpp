// termios2 (with BOTHER for rates outside the B-constants) comes from the kernel's headers,
// which clash with glibc's <termios.h>; this file therefore uses the ioctls directly and
// never includes <termios.h>.
#include "connection/SerialPorts.h"

#include "stream/SystemError.h"
#include "stream/Text.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace vintrel {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// The enumeration's own status text; at the end it clears this text only, not a message that
// came before it.
constexpr std::string_view kPopulating = "Populating ports list";

constexpr uint32_t kDrainBlock = 28;
// A target that never pauses would keep the drain going for ever; after this long the rest is
// left to the receiver, whose synchronisation skips it anyway.
constexpr Ms kDrainLimit{250};

// Claims the open port for this process: fails with EBUSY when another holder has made it
// exclusive (which root could otherwise open anyway) or holds its lock.
int ClaimExclusive(int fd) {
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) return EBUSY;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? EBUSY : errno;
    if (ioctl(fd, TIOCEXCL) != 0) return errno;
    return 0;
}

// Gives up the claim and closes. Exclusive mode belongs to the device, not to this descriptor,
// and would otherwise outlive the close while anyone else keeps the device open.
void ReleaseAndClose(int fd) {
    ioctl(fd, TIOCNXCL);
    close(fd); // releases the lock
}

// The serial driver creates entries for ports that may exist (legacy UART slots); one without
// a UART behind it reports the type PORT_UNKNOWN, or refuses to give its settings.
bool HasHardware(int fd) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN) return false;
    return true;
}

bool IsRaised(const CancelSignal* cancel) {
    return cancel && cancel->Raised();
}

// Whole milliseconds to the deadline, rounded up so the last fraction is waited for too.
int64_t MsLeft(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    return left.count() <= 0 ? 0 : std::chrono::ceil<Ms>(left).count();
}

// Sleeps until the deadline, or until the signal is raised.
void WaitUntil(Clock::time_point deadline, const CancelSignal* cancel) {
    pollfd p{cancel ? cancel->Fd() : -1, POLLIN, 0};
    for (int64_t left; !IsRaised(cancel) && (left = MsLeft(deadline)) > 0;)
        poll(&p, 1, CancelSignal::PollMs(cancel, left));
}

// The serial driver's "type" attribute of a sysfs entry: 0 (PORT_UNKNOWN) for a legacy UART
// slot with nothing behind it. Drivers that give no such attribute (USB, ACM) have hardware.
bool UartTypeKnown(const fs::path& entry) {
    std::ifstream in(entry / "type");
    int type = PORT_UNKNOWN + 1;
    return !(in >> type) || type != PORT_UNKNOWN;
}

} // namespace

uint32_t SerialComNumber(std::string_view device) {
    size_t begin = device.size();
    while (begin > 0 && device[begin - 1] >= '0' && device[begin - 1] <= '9') --begin;
    uint32_t n = 0;
    for (size_t i = begin; i < device.size() && n < 100000000; ++i) n = n * 10 + uint32_t(device[i] - '0');
    return n;
}

std::vector<SerialDevice> ListSerialDevices(const SerialEnumOptions& options) {
    std::vector<SerialDevice> found;
    std::error_code ec;
    fs::directory_iterator it(options.SysfsRoot, ec);
    if (ec) return found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code linkEc;
        if (!fs::exists(fs::symlink_status(it->path() / "device", linkEc))) continue;
        if (!UartTypeKnown(it->path())) continue;
        // A device without its node cannot be opened; looking for the node does not open it.
        std::string path = options.DevDir + "/" + name;
        if (!fs::exists(path, linkEc)) continue;
        found.push_back({SerialComNumber(name), name, std::move(path)});
    }
    std::sort(found.begin(), found.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return a.Number != b.Number ? a.Number < b.Number : a.Name < b.Name;
    });
    return found;
}

bool SerialPortEnum(PortListModel& list, const SerialEnumOptions& options, MessageSink* sink) {
    if (sink) sink->SetStat(kPopulating, StatStyle::Normal);
    list.Reset();

    for (const SerialDevice& device : ListSerialDevices(options)) {
        const auto start = Clock::now();
        const int fd = open(device.Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        bool usable = false;
        if (fd >= 0) {
            const int err = ClaimExclusive(fd);
            usable = err == 0 && HasHardware(fd);
            // A busy port's exclusive mode belongs to its holder and stays as it is.
            if (err == EBUSY)
                close(fd);
            else
                ReleaseAndClose(fd);
        }
        const auto took = std::chrono::duration_cast<Ms>(Clock::now() - start);
        if (!usable || took.count() > int64_t(options.SlowOpenMs)) continue;
        list.Items.push_back(device.Path);
    }
    if (list.Items.size() > 1) list.Selected = 1;

    if (sink) sink->ClearStatIfContains(&kPopulating, 1);
    return list.Items.size() > 1;
}

std::string UartOpenCause(const std::string& path, int err) {
    const std::string reason = SystemErrorText(err);
    if (err == EBUSY) return path + " is in use by another program (" + reason + ")";
    if (err == ENOTTY) return path + " is not a serial port (" + reason + ")";
    return path + ": " + reason;
}

bool UartRateAccepted(uint32_t requested, uint32_t readBack) {
    if (readBack == requested) return true;
    return requested / (readBack - requested) >= 25;
}

void SerialPort::Close() {
    if (fd_ >= 0) ReleaseAndClose(fd_);
    fd_ = -1;
    path_.clear();
}

UartOpenResult SerialPort::OpenUART(const std::string& path, std::string_view rateText) {
    Close();
    UartOpenResult res;

    const std::string_view trimmed = TrimBlanks(rateText);
    const std::optional<int32_t> parsed = ParseDecimal<int32_t>(trimmed);
    if (!parsed) {
        res.ErrorNumber = EINVAL;
        res.Message = NotAnIntegerText(trimmed);
        res.Cause = path + ": " + res.Message;
        return res;
    }
    const int32_t rate = *parsed;
    if (rate <= 0) {
        // Rate 0 would mean "hang up" to the driver.
        res.ErrorNumber = EINVAL;
        res.Message = "Error number=" + std::to_string(EINVAL) +
                      "; required baud rate=" + std::to_string(rate) + ", actually set BR was 0";
        res.Cause = path + ": " + res.Message;
        return res;
    }
    res.RequestedRate = uint32_t(rate);

    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        res.ErrorNumber = errno;
        res.Cause = UartOpenCause(path, res.ErrorNumber);
        return res;
    }
    if (const int err = ClaimExclusive(fd); err != 0) {
        // Another holder's exclusive mode is theirs: only our own claim is released.
        if (err == EBUSY)
            close(fd);
        else
            ReleaseAndClose(fd);
        res.ErrorNumber = err;
        res.Cause = UartOpenCause(path, err);
        return res;
    }

    termios2 tio{};
    int setError = 0;
    if (ioctl(fd, TCGETS2, &tio) != 0) setError = errno;
    // Raw 8N1: no line editing, no translation, no flow control of any kind.
    tio.c_iflag &=
        ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~tcflag_t(OPOST);
    tio.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~tcflag_t(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = res.RequestedRate;
    tio.c_ospeed = res.RequestedRate;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (setError == 0 && ioctl(fd, TCSETS2, &tio) != 0) setError = errno;

    termios2 back{};
    if (ioctl(fd, TCGETS2, &back) == 0) res.ActualRate = back.c_ospeed;
    if (adjustReadBack_) res.ActualRate = adjustReadBack_(res.ActualRate);

    if (setError != 0 || !UartRateAccepted(res.RequestedRate, res.ActualRate)) {
        res.ErrorNumber = setError;
        res.Message = "Error number=" + std::to_string(setError) +
                      "; required baud rate=" + std::to_string(res.RequestedRate) + ", actually set BR was " +
                      std::to_string(res.ActualRate);
        res.Cause = path + ": " + (setError ? SystemErrorText(setError) : "the rate was not taken") + " (" +
                    res.Message + ")";
        ReleaseAndClose(fd);
        return res;
    }

    // Not every device has modem lines (pseudo-terminals have none); their absence is no error.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIS, &lines);

    fd_ = fd;
    path_ = path;

    // Discard what was waiting: first the driver's buffer, then whatever keeps trickling in
    // until the line is quiet for one read.
    ioctl(fd, TCFLSH, TCIFLUSH);
    uint8_t junk[kDrainBlock];
    const auto drainStart = Clock::now();
    while (Read(junk, sizeof junk) > 0 && Clock::now() - drainStart < kDrainLimit) {
    }

    res.Opened = true;
    return res;
}

uint32_t SerialPort::Pending() const {
    int n = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
    return uint32_t(n);
}

uint32_t SerialPort::Read(uint8_t* dst, uint32_t len, const CancelSignal* cancel, bool* failedOut) {
    if (failedOut) *failedOut = false;
    if (fd_ < 0 || len == 0 || IsRaised(cancel)) return 0;
    const auto deadline = Clock::now() + Ms(uint64_t(TimeOuts.ReadTotalConstantMs) +
                                            uint64_t(TimeOuts.ReadTotalPerByteMs) * len);
    pollfd p[2] = {{fd_, POLLIN, 0}, {cancel ? cancel->Fd() : -1, POLLIN, 0}};
    uint32_t got = 0;
    bool failed = false;
    while (got < len) {
        int64_t left = MsLeft(deadline);
        if (left == 0) break;
        if (got > 0) left = std::min<int64_t>(left, TimeOuts.ReadIntervalMs);
        const int ready = poll(p, 2, CancelSignal::PollMs(cancel, left));
        if (IsRaised(cancel)) return got;
        if (ready < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (p[0].revents == 0) {
            if (got > 0) break; // the line went quiet after the first bytes
            continue;
        }
        if (!(p[0].revents & POLLIN)) {
            failed = true; // hang-up or error without data
            break;
        }
        const ssize_t n = read(fd_, dst + got, len - got);
        if (n > 0) {
            got += uint32_t(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            failed = true;
            break;
        }
    }
    // A port that fails (unplugged adapter, closed peer) answers like a silent one: it takes
    // the whole time-out instead of letting the transport thread spin on instant failures.
    if (failedOut) *failedOut = failed;
    if (failed && got == 0) WaitUntil(deadline, cancel);
    return got;
}

} // namespace vintrel

#pragma once
// The COM half of the settings dialog's port list and the serial port itself: enumeration of
// the serial devices, opening one exclusively at a chosen rate (custom rates included), and
// reading with the port's fixed time-outs.
//
// A port is named by its device path ("/dev/ttyUSB0"). Where a COM number is needed (the
// configuration file's ComPortNum, the preselection of the list) it is the trailing number of
// the device name: /dev/ttyUSB3 -> 3, /dev/ttyS0 -> 0.
//
// Threads: enumeration and open/close run on the window thread while no connection is open;
// once a connection is made only the transport thread reads from the port. Another thread ends
// a read through a CancelSignal, never by closing the port under it.
#include "connection/CancelSignal.h"
#include "connection/FtdiPorts.h"
#include "stream/MessageSink.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vintrel {

struct SerialEnumOptions {
    // Where the kernel lists tty devices; an entry with a "device" link is a real port.
    std::string SysfsRoot = "/sys/class/tty";
    // Where the device nodes of those entries live.
    std::string DevDir = "/dev";
    // A port whose open takes longer than this is left out.
    uint32_t SlowOpenMs = 2000;
};

// A serial device the kernel lists, found without opening it.
struct SerialDevice {
    uint32_t Number = 0; // SerialComNumber of the name
    std::string Name;    // "ttyUSB0"
    std::string Path;    // "/dev/ttyUSB0"
};

// The serial devices the kernel lists with hardware behind them (an entry with a "device" link
// whose UART "type", where the driver gives one, is not unknown, and whose device node exists),
// in the order of their trailing
// numbers (equal numbers by name). No device is opened: opening a port raises its modem lines.
std::vector<SerialDevice> ListSerialDevices(const SerialEnumOptions& options = {});

// Builds the COM list: " None", then the device path of every device of ListSerialDevices that
// opens exclusively, in that order. Busy ports, ports slower than SlowOpenMs to open and serial
// ports without hardware behind them are left out. Each listed port is opened and closed once. Item 1 is
// selected when a port was listed. With a sink, the status reads "Populating ports list" meanwhile and is
// cleared afterwards. Returns whether at least one port was listed (HwPortEna).
bool SerialPortEnum(PortListModel& list, const SerialEnumOptions& options = {}, MessageSink* sink = nullptr);

// Trailing decimal number of a device path or name; 0 when it has none.
uint32_t SerialComNumber(std::string_view device);

// The port's read time-outs: a read ends when the requested count arrived, when no byte came
// for ReadIntervalMs after the first one, or after ReadTotalConstantMs + ReadTotalPerByteMs
// per requested byte.
struct SerialTimeouts {
    uint32_t ReadIntervalMs;
    uint32_t ReadTotalPerByteMs;
    uint32_t ReadTotalConstantMs;
};
inline constexpr SerialTimeouts TimeOuts{1, 1, 10};

inline constexpr const char* kSerialSetupErrorTitle = "Serial port setup error";

// The rate read back is taken when it equals the requested one or exceeds it by so little that
// requested / (readBack - requested) >= 25 in unsigned 32-bit division (a read-back below the
// request wraps to a huge divisor and is rejected).
bool UartRateAccepted(uint32_t requested, uint32_t readBack);

struct UartOpenResult {
    bool Opened = false; // open, configured and drained
    int ErrorNumber = 0; // errno of the step that failed, 0 when none did
    uint32_t RequestedRate = 0;
    uint32_t ActualRate = 0; // as read back from the driver
    // When not empty: the text of the box titled "Serial port setup error" (the settings were
    // rejected and the port closed). Empty with Opened false: the port did not open.
    std::string Message;
    // Why the port is not open, naming the device: the system's reason ("/dev/ttyUSB0: No such
    // file or directory"), a port another program holds, a device that is no serial port, or
    // the rejected settings. Empty when it opened.
    std::string Cause;
};

// The cause for a port that could not be had: a port held by another program (EBUSY) and a
// device that is no terminal (ENOTTY) are said in words, anything else with the system's reason.
std::string UartOpenCause(const std::string& path, int err);

class SerialPort {
public:
    // What the driver read back for a rate goes through the given function when there is one
    // (the acceptance rule is otherwise only reachable with hardware that rounds rates).
    using ReadBackAdjust = uint32_t (*)(uint32_t readBack);
    explicit SerialPort(ReadBackAdjust adjustReadBack = nullptr) : adjustReadBack_(adjustReadBack) {}
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device exclusively and sets raw 8N1, no flow control, DTR and RTS raised and
    // the trimmed decimal rate in rateText (any rate the driver accepts). The rate read back
    // must pass UartRateAccepted, else the port is closed again and Message says why. Input
    // that is already waiting is discarded. A port opened earlier is closed first.
    UartOpenResult OpenUART(const std::string& path, std::string_view rateText);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

    // Reads at most len bytes within the time-outs of TimeOuts; returns the count (0 when
    // nothing arrived, the port is closed or failed). On a silent line that is the whole total
    // time-out, over a minute for a ring-sized request, and a failed port takes it as well; a
    // raised cancel ends either wait at once and returns the bytes already placed. `failed`, when
    // given, tells whether the port hung up or failed during this read.
    uint32_t Read(uint8_t* dst, uint32_t len, const CancelSignal* cancel = nullptr, bool* failed = nullptr);
    // Bytes received and not read yet (0 when closed or when the driver cannot tell). Safe
    // beside a running Read: it only asks the driver.
    uint32_t Pending() const;

private:
    ReadBackAdjust adjustReadBack_ = nullptr;
    int fd_ = -1;
    std::string path_;
};

} // namespace vintrel

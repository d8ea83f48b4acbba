#pragma once
// Enumerations shared by the frame stream, the connection layer and the windows.
#include <cstdint>

namespace vintrel {

// Which transport is open. TR_MAIL (the mailslot simulator) keeps its value but is never selected here.
enum TTransport : uint8_t { TR_NONE = 0, TR_MAIL = 1, TR_UART = 2, TR_FTDI = 3, TR_TCPIP = 4 };

// The transport thread's state machine; one byte shared by three threads.
enum TTransportState : uint8_t {
    INACTIVE = 0,
    CONNECTING = 1,
    SYNCHRONIZING = 2,
    RUNNING = 3,
    TERMINATING = 4
};

// The six chart slots of the main window; also the type of the channel being played.
enum TChart : uint8_t {
    NOCHART = 0,
    CHART11 = 1,
    CHART12 = 2,
    CHART13 = 3,
    CHART21 = 4,
    CHART22 = 5,
    CHART_MIPS = 6
};
constexpr int kChannelCharts = 5;

// Old-protocol channels, in the order of their mask bits after HEADER.
enum TChannel : uint8_t {
    HEADER = 0,
    TXOUT = 1,
    RXOUT = 2,
    TX1IN = 3,
    TX2IN = 4,
    RXIN = 5,
    VOL_ = 6,
    MIPS_ = 7
};

// The "not available" value of every 16-bit level in a per-frame record.
constexpr int16_t kNotAvailable = -2;

} // namespace vintrel

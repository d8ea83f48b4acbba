#pragma once
// The FTDI half of the settings dialog's port list: enumeration of the FT2232H MiniModule
// adapters and opening/configuring the chosen one. Qt-free: the list is a plain model the
// dialog's combo box mirrors. Runs on the window thread while no connection is open.
#include "connection/Ftdi.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

// The port combo box: item texts and the selected item (-1 = nothing selected).
struct PortListModel {
    std::vector<std::string> Items;
    int Selected = -1;

    // " None" only, item 0 selected.
    void Reset();
};

inline constexpr const char* kPortNone = " None";
inline constexpr const char* kFtdiAdapterDescription = "FT2232H MiniModule";
inline constexpr uint32_t kDefaultFtdiRate = 12000000;

// Pair k belongs to list item k+1: the D2XX device index and the COM number (low bytes).
struct FtdiPortPair {
    uint8_t DeviceIndex = 0;
    uint8_t ComPort = 0;
};
inline constexpr int kFtdiListPairs = 9;
using TFtdiList = std::array<FtdiPortPair, kFtdiListPairs>;

// The adapter's fixed set-up.
inline constexpr uint32_t kFtdiReadTimeoutMs = 20;
inline constexpr uint32_t kFtdiWriteTimeoutMs = 20;
inline constexpr uint8_t kFtdiLatencyMs = 1;

// Builds the FTDI list: " None", then " COM<n>" for every adapter whose description contains
// "FT2232H MiniModule" and that opens, at most nine. Preselects the item whose COM number is
// ComPortNum, else item 1 when any was added. Returns whether at least one adapter was added.
bool EnumerateFtdi(const Ftdi& ftdi, PortListModel& list, TFtdiList& FtdiList, uint32_t ComPortNum);

// Opens the adapter of the selected item into FtdiHandle and configures it (rate UartRate,
// no flow control, 20/20 ms time-outs, 1 ms latency, 8N1, both buffers purged). Returns the
// OR of the seven statuses; FT_OK = success. On failure FtdiHandle is closed and zero, and
// cause (when given) names the first call that failed, its status and the adapter.
FT_STATUS FTDIinit(const Ftdi& ftdi, const PortListModel& list, const TFtdiList& FtdiList, uint32_t UartRate,
                   FT_HANDLE& FtdiHandle, std::string* cause = nullptr);

// "FT_INVALID_BAUD_RATE (7)": a D2XX status by its published name.
std::string FtStatusName(FT_STATUS status);

} // namespace vintrel

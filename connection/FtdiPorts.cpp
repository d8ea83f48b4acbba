#include "connection/FtdiPorts.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace vintrel {

namespace {

// USB allows at most 127 devices; a larger count is a library fault, not hardware.
constexpr uint32_t kMaxDevices = 127;
// FT_ListDevices writes one description per device attached at the time of the call, which may
// be more than FT_CreateDeviceInfoList counted if an adapter was plugged in meanwhile: spare
// buffers keep such a late arrival from writing past the table.
constexpr uint32_t kSpareBuffers = 16;

// The adapter's virtual COM number, or a stand-in when it has none: FTDI's Linux library
// assigns no COM ports (the export may be missing or report -1), so the adapter is then
// listed under its device index + 1, which is stable while the same adapters stay plugged in.
uint32_t AdapterComNumber(const Ftdi& ftdi, FT_HANDLE handle, uint32_t index) {
    int32_t com = -1;
    if (ftdi.FT_GetComPortNumber(handle, &com) == FT_OK && com > 0) return static_cast<uint32_t>(com);
    return index + 1;
}

} // namespace

void PortListModel::Reset() {
    Items.assign(1, kPortNone);
    Selected = 0;
}

bool EnumerateFtdi(const Ftdi& ftdi, PortListModel& list, TFtdiList& FtdiList, uint32_t ComPortNum) {
    list.Reset();
    FtdiList.fill(FtdiPortPair{});

    uint32_t count = 0;
    ftdi.FT_CreateDeviceInfoList(&count);
    if (count == 0) return false;
    count = std::min(count, kMaxDevices);

    // count + spare zeroed 64-byte buffers, the pointer table ending in null.
    const uint32_t buffers = count + kSpareBuffers;
    std::vector<char> text(size_t(buffers) * kFtDescriptionSize, '\0');
    std::vector<char*> table(buffers + 1, nullptr);
    for (uint32_t i = 0; i < buffers; ++i) table[i] = &text[size_t(i) * kFtDescriptionSize];
    uint32_t listed = 0;
    ftdi.FT_ListDevices(table.data(), &listed, FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION);

    bool selected = false;
    for (uint32_t index = 0; index < count; ++index) {
        // The tenth and further matching adapters are not listed: the table holds nine pairs
        // and an item without a pair could not be opened.
        if (list.Items.size() > kFtdiListPairs) break;
        char* description = table[index];
        description[kFtDescriptionSize - 1] = '\0';
        if (!std::strstr(description, kFtdiAdapterDescription)) continue;

        FT_HANDLE handle = nullptr;
        if (ftdi.FT_Open(static_cast<int>(index), &handle) != FT_OK || !handle) continue;
        const uint32_t com = AdapterComNumber(ftdi, handle, index);
        ftdi.Close(handle);

        FtdiList[list.Items.size() - 1] = {static_cast<uint8_t>(index), static_cast<uint8_t>(com)};
        list.Items.push_back(" COM" + std::to_string(com));
        if (com == ComPortNum) {
            list.Selected = static_cast<int>(list.Items.size()) - 1;
            selected = true;
        }
    }
    const bool added = list.Items.size() > 1;
    if (!selected && added) list.Selected = 1;
    return added;
}

std::string FtStatusName(FT_STATUS status) {
    static constexpr const char* kNames[] = {
        "FT_OK",
        "FT_INVALID_HANDLE",
        "FT_DEVICE_NOT_FOUND",
        "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR",
        "FT_INSUFFICIENT_RESOURCES",
        "FT_INVALID_PARAMETER",
        "FT_INVALID_BAUD_RATE",
        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
        "FT_FAILED_TO_WRITE_DEVICE",
        "FT_EEPROM_READ_FAILED",
        "FT_EEPROM_WRITE_FAILED",
        "FT_EEPROM_ERASE_FAILED",
        "FT_EEPROM_NOT_PRESENT",
        "FT_EEPROM_NOT_PROGRAMMED",
        "FT_INVALID_ARGS",
        "FT_NOT_SUPPORTED",
        "FT_OTHER_ERROR",
        "FT_DEVICE_LIST_NOT_READY",
    };
    const std::string number = std::to_string(status);
    return status < std::size(kNames) ? std::string(kNames[status]) + " (" + number + ")"
                                      : "status " + number;
}

FT_STATUS FTDIinit(const Ftdi& ftdi, const PortListModel& list, const TFtdiList& FtdiList, uint32_t UartRate,
                   FT_HANDLE& FtdiHandle, std::string* cause) {
    // Connecting starts from a closed adapter; a handle left open would leak.
    ftdi.Close(FtdiHandle);
    const int item = list.Selected;
    if (item < 1 || item > kFtdiListPairs || item >= static_cast<int>(list.Items.size())) {
        if (cause) *cause = "no FTDI adapter is chosen";
        return FT_DEVICE_NOT_FOUND;
    }
    // The first call that failed is the cause; the rest usually only repeat it.
    const auto note = [&](FT_STATUS st, const std::string& call) {
        if (st != FT_OK && cause && cause->empty())
            *cause = call + " returned " + FtStatusName(st) + " for adapter" + list.Items[size_t(item)];
        return st;
    };
    if (cause) cause->clear();

    const int device = FtdiList[item - 1].DeviceIndex;
    FT_STATUS status = note(ftdi.FT_Open(device, &FtdiHandle), "FT_Open");
    // Without a handle the setters would only be handed garbage.
    if (status != FT_OK || !FtdiHandle) {
        FtdiHandle = nullptr;
        status = status != FT_OK ? status : note(FT_INVALID_HANDLE, "FT_Open");
        return status;
    }
    status |=
        note(ftdi.FT_SetBaudRate(FtdiHandle, UartRate), "FT_SetBaudRate(" + std::to_string(UartRate) + ")");
    status |= note(ftdi.FT_SetFlowControl(FtdiHandle, FT_FLOW_NONE, 0, 0), "FT_SetFlowControl");
    status |=
        note(ftdi.FT_SetTimeouts(FtdiHandle, kFtdiReadTimeoutMs, kFtdiWriteTimeoutMs), "FT_SetTimeouts");
    status |= note(ftdi.FT_SetLatencyTimer(FtdiHandle, kFtdiLatencyMs), "FT_SetLatencyTimer");
    status |= note(ftdi.FT_SetDataCharacteristics(FtdiHandle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
                   "FT_SetDataCharacteristics");
    status |= note(ftdi.FT_Purge(FtdiHandle, FT_PURGE_RX | FT_PURGE_TX), "FT_Purge");
    if (status != FT_OK) ftdi.Close(FtdiHandle);
    return status;
}

} // namespace vintrel

#include "connection/FtdiDevices.h"

#include "connection/FtdiPorts.h"

#include <algorithm>

namespace vintrel {

namespace {

// USB allows at most 127 devices; a larger count is a library fault, not hardware.
constexpr uint32_t kMaxDevices = 127;
// Room for adapters plugged in between the count and the listing.
constexpr uint32_t kSpareBuffers = 16;

// One FT_LIST_ALL call: a zeroed 64-byte buffer per device (and spares), the table ending in null.
class ListTable {
public:
    explicit ListTable(uint32_t count)
        : text_(size_t(count + kSpareBuffers) * kFtDescriptionSize, '\0'), table_(count + kSpareBuffers + 1) {
        for (size_t i = 0; i + 1 < table_.size(); ++i) table_[i] = &text_[i * kFtDescriptionSize];
    }
    FT_STATUS Fill(const Ftdi& ftdi, uint32_t how) {
        uint32_t listed = 0;
        return ftdi.FT_ListDevices(table_.data(), &listed, FT_LIST_ALL | how);
    }
    std::string Item(uint32_t i) {
        table_[i][kFtDescriptionSize - 1] = '\0';
        return table_[i];
    }

private:
    std::vector<char> text_;
    std::vector<char*> table_;
};

} // namespace

FtdiDeviceList ListFtdiDevices(const Ftdi& ftdi) {
    FtdiDeviceList result;
    uint32_t count = 0;
    if (const FT_STATUS st = ftdi.FT_CreateDeviceInfoList(&count); st != FT_OK) {
        result.Failure = "FT_CreateDeviceInfoList returned " + FtStatusName(st);
        return result;
    }
    count = std::min(count, kMaxDevices);
    if (count == 0) return result;

    ListTable descriptions(count);
    ListTable serials(count);
    if (const FT_STATUS st = descriptions.Fill(ftdi, FT_OPEN_BY_DESCRIPTION); st != FT_OK)
        result.Failure = "FT_ListDevices (descriptions) returned " + FtStatusName(st);
    else if (const FT_STATUS sst = serials.Fill(ftdi, FT_OPEN_BY_SERIAL_NUMBER); sst != FT_OK)
        result.Failure = "FT_ListDevices (serial numbers) returned " + FtStatusName(sst);
    for (uint32_t i = 0; i < count; ++i) result.Devices.push_back({i, descriptions.Item(i), serials.Item(i)});
    return result;
}

} // namespace vintrel

#pragma once
// Every device the D2XX library reports, with its description and serial number, for a listing
// that opens none of them. Runs on the calling thread; the binding is only read.
#include "connection/Ftdi.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

// FT_ListDevices flag: by serial number instead of by description.
constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;

struct FtdiDevice {
    uint32_t Index = 0;
    std::string Description;
    std::string SerialNumber;
};

struct FtdiDeviceList {
    std::vector<FtdiDevice> Devices;
    // Empty when the library answered; else the call that failed and its status.
    std::string Failure;
};

// Counts the devices (FT_CreateDeviceInfoList), then asks FT_ListDevices for all descriptions
// and all serial numbers. A serial number the library does not give stays empty.
FtdiDeviceList ListFtdiDevices(const Ftdi& ftdi);

} // namespace vintrel

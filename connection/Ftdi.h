#pragma once
// Run-time binding of FTDI's D2XX driver library (libftd2xx.so on Linux). The library is not
// part of the system: it is loaded with dlopen when the main window is created and its exports
// are bound by name. It is never unloaded.
//
// Threads: Loading runs once on the window thread before the transport thread starts; after
// that the object is read-only and its entries may be called from any thread (the window
// thread configures the adapter, the transport thread reads from it).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vintrel {

// FTDI's Linux headers define DWORD, ULONG and LONG as 32-bit integers, USHORT as 16 and
// UCHAR as 8 bits; the signatures below use the fixed-width equivalents.
using FT_HANDLE = void*;
using FT_STATUS = uint32_t;

// The published D2XX status codes (the ones this program names).
enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

// FT_ListDevices flags: every device, by its description string.
constexpr uint32_t FT_LIST_ALL = 0x20000000;
constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;
// FT_Purge mask bits.
constexpr uint32_t FT_PURGE_RX = 1;
constexpr uint32_t FT_PURGE_TX = 2;
// Line settings used by this program.
constexpr uint16_t FT_FLOW_NONE = 0;
constexpr uint8_t FT_BITS_8 = 8;
constexpr uint8_t FT_STOP_BITS_1 = 0;
constexpr uint8_t FT_PARITY_NONE = 0;
// D2XX description buffers are 64 bytes including the terminating zero.
constexpr int kFtDescriptionSize = 64;

// One bound export. Calling an entry whose export is missing (or whose library did not load)
// returns FT_NOT_SUPPORTED and leaves every out-argument untouched, so a null pointer is
// never called.
template <typename... Args> class FtEntry {
public:
    using Pointer = FT_STATUS (*)(Args...);

    FT_STATUS operator()(Args... args) const { return fn_ ? fn_(args...) : FT_NOT_SUPPORTED; }
    explicit operator bool() const { return fn_ != nullptr; }
    Pointer Get() const { return fn_; }
    void Bind(void* symbol) { fn_ = reinterpret_cast<Pointer>(symbol); }

private:
    Pointer fn_ = nullptr;
};

// Title and text of the box shown once at start-up when the library is missing and the
// settings ask for FTDI ports. Lines are separated by CR.
inline constexpr std::string_view kFtdiLoadingErrorTitle = "Loading error";
inline constexpr std::string_view kFtdiLoadingErrorText =
    "FTDI device driver not found.\r"
    "FTDI devices will be handled as general COM ports.\r"
    "If you intend to use FTDI devices, please install the driver.\r"
    "It is avalable for free at FTDI WEB site: \r"
    "https://ftdichip.com/drivers/d2xx-drivers/ (Linux D2XX driver, libftd2xx.so)";

class Ftdi {
public:
    static constexpr const char* kDefaultLibrary = "libftd2xx.so";
    static constexpr const char* kLibraryEnvVar = "VINTREL_FTD2XX"; // overrides the default path

    Ftdi() = default;
    Ftdi(const Ftdi&) = delete;
    Ftdi& operator=(const Ftdi&) = delete;
    ~Ftdi() = default; // deliberately no dlclose: the library stays loaded for the process

    // The path Loading uses when given none: $VINTREL_FTD2XX if set and not empty, else the default.
    static std::string LibraryPath();

    // Loads the library (path empty = LibraryPath()) and binds the fourteen exports by name.
    // Returns FTDIdriverFound. A second call on a loaded binding changes nothing.
    bool Loading(const std::string& path = {});

    // Closes an open handle and zeroes it; a zero handle is left alone.
    void Close(FT_HANDLE& handle) const;

    // Names of the exports the loaded library lacks (empty when all are bound).
    std::vector<std::string_view> MissingExports() const;

    void* DllModule = nullptr; // dlopen handle, null = not loaded
    bool FTDIdriverFound = false;
    std::string LoadError;    // dlerror text of a failed load
    std::string LibraryTried; // the file the last Loading tried

    // Why the library is not loaded, naming the file tried and in the loader's words
    // ("libftd2xx.so: cannot open shared object file: No such file or directory"); empty when
    // it is loaded or was never tried.
    std::string LoadFailure() const;

    FtEntry<uint32_t*> FT_CreateDeviceInfoList;
    FtEntry<void*, void*, uint32_t> FT_ListDevices;
    FtEntry<int, FT_HANDLE*> FT_Open;
    FtEntry<FT_HANDLE, int32_t*> FT_GetComPortNumber;
    FtEntry<FT_HANDLE, uint32_t> FT_SetBaudRate;
    FtEntry<FT_HANDLE, uint16_t, uint8_t, uint8_t> FT_SetFlowControl;
    FtEntry<FT_HANDLE, uint32_t, uint32_t> FT_SetTimeouts;
    FtEntry<FT_HANDLE, uint8_t> FT_SetLatencyTimer;
    FtEntry<FT_HANDLE, uint8_t, uint8_t, uint8_t> FT_SetDataCharacteristics;
    FtEntry<FT_HANDLE, uint32_t> FT_Purge;
    FtEntry<FT_HANDLE, void*, uint32_t, uint32_t*> FT_Read;
    FtEntry<FT_HANDLE> FT_Close;
    FtEntry<FT_HANDLE, uint8_t*> FT_GetLatencyTimer;
    FtEntry<FT_HANDLE, uint32_t, uint32_t> FT_SetUSBParameters;
    // Not required: without it a late transport thread cannot be told from a silent adapter.
    FtEntry<FT_HANDLE, uint32_t*> FT_GetQueueStatus;
};

} // namespace vintrel

// Fake D2XX library for the tests: the fifteen exports the program binds, with FTDI's Linux
// signatures, driven by environment variables read when devices are counted or opened:
//
//   FAKE_FTD2XX_DEVICES  "description:com[:busy];..."  attached devices in index order; com -1 =
//                        no virtual COM port; "busy" devices fail FT_Open with FT_DEVICE_NOT_OPENED
//   FAKE_FTD2XX_SERIALS  "serial;..."  the devices' serial numbers in index order (empty if absent)
//   FAKE_FTD2XX_SOURCE   file or pseudo-terminal whose bytes FT_Read serves (opened per FT_Open)
//   FAKE_FTD2XX_CHUNK    most bytes one FT_Read returns (a USB packet's worth), 0 = no limit
//   FAKE_FTD2XX_FAIL     "FT_Name[=status],..."  calls that fail (status 4, FT_IO_ERROR, if none)
//   FAKE_FTD2XX_LOG      file to which each call appends one line: its name and arguments
//
// FT_Read waits up to the read time-out of FT_SetTimeouts for the requested count, polling
// every millisecond; with no time-out set it returns at once with what is there.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

using FT_HANDLE = void*;
using FT_STATUS = uint32_t;

namespace {

constexpr FT_STATUS kOk = 0, kInvalidHandle = 1, kDeviceNotFound = 2, kNotOpened = 3, kIoError = 4,
                    kInvalidParameter = 6;

struct Device {
    std::string Description;
    std::string Serial;
    int32_t Com = -1;
    bool Busy = false;
};

struct Handle {
    int Index = 0;
    int32_t Com = -1;
    int Fd = -1;
    uint32_t ReadTimeoutMs = 0;
    std::map<std::string, FT_STATUS> Fail;
};

std::mutex g_mutex;
std::vector<Device> g_devices; // as of the last FT_CreateDeviceInfoList
std::set<Handle*> g_open;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(sep, start);
        if (end == std::string::npos) end = s.size();
        if (end > start) parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::vector<Device> ReadDevices() {
    std::vector<Device> devices;
    for (std::string entry : Split(Env("FAKE_FTD2XX_DEVICES"), ';')) {
        Device d;
        const std::string busy = ":busy";
        if (entry.size() > busy.size() && entry.compare(entry.size() - busy.size(), busy.size(), busy) == 0) {
            d.Busy = true;
            entry.resize(entry.size() - busy.size());
        }
        const size_t colon = entry.rfind(':');
        d.Description = entry.substr(0, colon);
        if (colon != std::string::npos) d.Com = std::atoi(entry.c_str() + colon + 1);
        devices.push_back(d);
    }
    const std::vector<std::string> serials = Split(Env("FAKE_FTD2XX_SERIALS"), ';');
    for (size_t i = 0; i < devices.size() && i < serials.size(); ++i) devices[i].Serial = serials[i];
    return devices;
}

std::map<std::string, FT_STATUS> ReadFailures() {
    std::map<std::string, FT_STATUS> fail;
    for (const std::string& item : Split(Env("FAKE_FTD2XX_FAIL"), ',')) {
        const size_t eq = item.find('=');
        fail[item.substr(0, eq)] =
            eq == std::string::npos ? kIoError : FT_STATUS(std::atoi(item.c_str() + eq + 1));
    }
    return fail;
}

void Log(const std::string& line) {
    const std::string path = Env("FAKE_FTD2XX_LOG");
    if (path.empty()) return;
    if (FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

// The open handle, or null for a handle this library did not hand out (or closed already).
Handle* Live(FT_HANDLE h) {
    std::lock_guard lock(g_mutex);
    auto* handle = static_cast<Handle*>(h);
    return g_open.count(handle) ? handle : nullptr;
}

FT_STATUS Injected(const Handle& h, const char* name) {
    auto it = h.Fail.find(name);
    return it == h.Fail.end() ? kOk : it->second;
}

// Logs the call and returns its status: invalid handle, injected failure or FT_OK.
FT_STATUS Call(FT_HANDLE h, const char* name, const std::string& args, Handle** out = nullptr) {
    Log(std::string(name) + (args.empty() ? "" : " " + args));
    Handle* handle = Live(h);
    if (out) *out = handle;
    return handle ? Injected(*handle, name) : kInvalidHandle;
}

std::string Args(std::initializer_list<long long> values) {
    std::string s;
    for (long long v : values) s += (s.empty() ? "" : " ") + std::to_string(v);
    return s;
}

} // namespace

FAKE_EXPORT FT_STATUS FT_CreateDeviceInfoList(uint32_t* count) {
    Log("FT_CreateDeviceInfoList");
    std::lock_guard lock(g_mutex);
    g_devices = ReadDevices();
    if (count) *count = uint32_t(g_devices.size());
    return ReadFailures().count("FT_CreateDeviceInfoList") ? kIoError : kOk;
}

FAKE_EXPORT FT_STATUS FT_ListDevices(void* arg1, void* arg2, uint32_t flags) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", flags);
    Log(std::string("FT_ListDevices ") + buf);
    // All devices, by description (2) or by serial number (1).
    if ((flags != 0x20000002u && flags != 0x20000001u) || !arg1) return kInvalidParameter;
    std::lock_guard lock(g_mutex);
    // One description per attached device, as the real library writes them; stopping at the
    // table's null entry only keeps a faulty caller from crashing the test process.
    char** table = static_cast<char**>(arg1);
    for (size_t i = 0; i < g_devices.size() && table[i]; ++i) {
        const Device& d = g_devices[i];
        std::strncpy(table[i], (flags == 0x20000001u ? d.Serial : d.Description).c_str(), 63);
        table[i][63] = '\0';
    }
    if (arg2) *static_cast<uint32_t*>(arg2) = uint32_t(g_devices.size());
    return kOk;
}

FAKE_EXPORT FT_STATUS FT_Open(int index, FT_HANDLE* out) {
    Log("FT_Open " + std::to_string(index));
    const auto fail = ReadFailures();
    if (auto it = fail.find("FT_Open"); it != fail.end()) return it->second;
    std::lock_guard lock(g_mutex);
    if (index < 0 || size_t(index) >= g_devices.size()) return kDeviceNotFound;
    if (g_devices[index].Busy) return kNotOpened;
    auto* h = new Handle;
    h->Index = index;
    h->Com = g_devices[index].Com;
    h->Fail = fail;
    const std::string source = Env("FAKE_FTD2XX_SOURCE");
    if (!source.empty()) {
        h->Fd = ::open(source.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        // An adapter delivers raw bytes: no line editing, no echo.
        termios tio{};
        if (h->Fd >= 0 && ::isatty(h->Fd) && ::tcgetattr(h->Fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(h->Fd, TCSANOW, &tio);
        }
    }
    g_open.insert(h);
    if (out) *out = h;
    return kOk;
}

#ifndef FAKE_FTD2XX_LEAN
FAKE_EXPORT FT_STATUS FT_GetComPortNumber(FT_HANDLE h, int32_t* com) {
    Handle* handle = nullptr;
    const FT_STATUS status = Call(h, "FT_GetComPortNumber", "", &handle);
    if (status == kOk && com) *com = handle->Com;
    return status;
}

FAKE_EXPORT FT_STATUS FT_Purge(FT_HANDLE h, uint32_t mask) {
    Handle* handle = nullptr;
    const FT_STATUS status = Call(h, "FT_Purge", Args({mask}), &handle);
    if (status == kOk && handle->Fd >= 0 && ::isatty(handle->Fd)) ::tcflush(handle->Fd, TCIFLUSH);
    return status;
}
#endif

FAKE_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE h, uint32_t rate) {
    return Call(h, "FT_SetBaudRate", Args({rate}));
}

FAKE_EXPORT FT_STATUS FT_SetFlowControl(FT_HANDLE h, uint16_t flow, uint8_t xon, uint8_t xoff) {
    return Call(h, "FT_SetFlowControl", Args({flow, xon, xoff}));
}

FAKE_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE h, uint32_t readMs, uint32_t writeMs) {
    Handle* handle = nullptr;
    const FT_STATUS status = Call(h, "FT_SetTimeouts", Args({readMs, writeMs}), &handle);
    if (status == kOk) handle->ReadTimeoutMs = readMs;
    return status;
}

FAKE_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE h, uint8_t ms) {
    return Call(h, "FT_SetLatencyTimer", Args({ms}));
}

FAKE_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, uint8_t bits, uint8_t stop, uint8_t parity) {
    return Call(h, "FT_SetDataCharacteristics", Args({bits, stop, parity}));
}

FAKE_EXPORT FT_STATUS FT_Read(FT_HANDLE h, void* buffer, uint32_t len, uint32_t* returned) {
    if (returned) *returned = 0;
    Handle* handle = nullptr;
    const FT_STATUS status = Call(h, "FT_Read", Args({len}), &handle);
    if (status != kOk) return status;
    if (!buffer || !returned) return kInvalidParameter;
    uint32_t limit = len;
    if (const long chunk = std::atol(Env("FAKE_FTD2XX_CHUNK").c_str()); chunk > 0)
        limit = std::min<uint32_t>(limit, uint32_t(chunk));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(handle->ReadTimeoutMs);
    uint32_t got = 0;
    for (;;) {
        if (handle->Fd >= 0 && got < limit) {
            const ssize_t n = ::read(handle->Fd, static_cast<char*>(buffer) + got, limit - got);
            if (n > 0) got += uint32_t(n);
        }
        if (got >= limit || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    *returned = got;
    return kOk;
}

// Not logged: the receiver asks it from its parsing thread whenever the adapter is quiet.
FAKE_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE h, uint32_t* queued) {
    std::lock_guard lock(g_mutex);
    auto* handle = static_cast<Handle*>(h);
    if (!g_open.count(handle) || !queued) return kInvalidHandle;
    int n = 0;
    struct stat st {};
    if (::ioctl(handle->Fd, FIONREAD, &n) == 0 && n > 0) {
        *queued = uint32_t(n); // a pseudo-terminal
    } else if (::fstat(handle->Fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const off_t at = ::lseek(handle->Fd, 0, SEEK_CUR);
        *queued = at >= 0 && st.st_size > at ? uint32_t(st.st_size - at) : 0; // a file: what is left
    } else {
        *queued = 0;
    }
    return kOk;
}

FAKE_EXPORT FT_STATUS FT_Close(FT_HANDLE h) {
    std::unique_lock lock(g_mutex);
    auto* handle = static_cast<Handle*>(h);
    if (!g_open.erase(handle)) {
        lock.unlock();
        Log("FT_Close invalid");
        return kInvalidHandle;
    }
    lock.unlock();
    Log("FT_Close " + std::to_string(handle->Index));
    if (handle->Fd >= 0) ::close(handle->Fd);
    delete handle;
    return kOk;
}

FAKE_EXPORT FT_STATUS FT_GetLatencyTimer(FT_HANDLE h, uint8_t* ms) {
    const FT_STATUS status = Call(h, "FT_GetLatencyTimer", "");
    if (status == kOk && ms) *ms = 16;
    return status;
}

FAKE_EXPORT FT_STATUS FT_SetUSBParameters(FT_HANDLE h, uint32_t inSize, uint32_t outSize) {
    return Call(h, "FT_SetUSBParameters", Args({inSize, outSize}));
}

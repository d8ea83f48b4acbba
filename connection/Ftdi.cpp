#include "connection/Ftdi.h"

#include <cstdlib>
#include <dlfcn.h>

namespace vintrel {

namespace {

template <typename Entry> void BindExport(void* module, Entry& entry, const char* name) {
    entry.Bind(dlsym(module, name));
}

} // namespace

std::string Ftdi::LibraryPath() {
    const char* env = std::getenv(kLibraryEnvVar);
    return (env && *env) ? std::string(env) : std::string(kDefaultLibrary);
}

bool Ftdi::Loading(const std::string& path) {
    if (DllModule) return FTDIdriverFound;
    const std::string file = path.empty() ? LibraryPath() : path;
    LibraryTried = file;
    DllModule = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!DllModule) {
        const char* err = dlerror();
        LoadError = err ? err : "cannot load " + file;
        FTDIdriverFound = false;
        return false;
    }
    FTDIdriverFound = true;
    LoadError.clear();
    BindExport(DllModule, FT_CreateDeviceInfoList, "FT_CreateDeviceInfoList");
    BindExport(DllModule, FT_ListDevices, "FT_ListDevices");
    BindExport(DllModule, FT_Open, "FT_Open");
    BindExport(DllModule, FT_GetComPortNumber, "FT_GetComPortNumber");
    BindExport(DllModule, FT_SetBaudRate, "FT_SetBaudRate");
    BindExport(DllModule, FT_SetFlowControl, "FT_SetFlowControl");
    BindExport(DllModule, FT_SetTimeouts, "FT_SetTimeouts");
    BindExport(DllModule, FT_SetLatencyTimer, "FT_SetLatencyTimer");
    BindExport(DllModule, FT_SetDataCharacteristics, "FT_SetDataCharacteristics");
    BindExport(DllModule, FT_Purge, "FT_Purge");
    BindExport(DllModule, FT_Read, "FT_Read");
    BindExport(DllModule, FT_Close, "FT_Close");
    BindExport(DllModule, FT_GetLatencyTimer, "FT_GetLatencyTimer");
    BindExport(DllModule, FT_SetUSBParameters, "FT_SetUSBParameters");
    BindExport(DllModule, FT_GetQueueStatus, "FT_GetQueueStatus");
    return true;
}

std::string Ftdi::LoadFailure() const {
    if (FTDIdriverFound || LibraryTried.empty()) return "";
    // The loader's text names the file itself, as a rule; where it does not, the file goes first.
    std::string text = LoadError.rfind(LibraryTried, 0) == 0 ? LoadError : LibraryTried + ": " + LoadError;
    if (LibraryTried == kDefaultLibrary)
        text += std::string(" (") + kLibraryEnvVar + " may name the library's path)";
    return text;
}

void Ftdi::Close(FT_HANDLE& handle) const {
    if (!handle) return;
    FT_Close(handle);
    handle = nullptr;
}

std::vector<std::string_view> Ftdi::MissingExports() const {
    std::vector<std::string_view> missing;
    if (!DllModule) return missing;
    auto check = [&](bool bound, std::string_view name) {
        if (!bound) missing.push_back(name);
    };
    check(bool(FT_CreateDeviceInfoList), "FT_CreateDeviceInfoList");
    check(bool(FT_ListDevices), "FT_ListDevices");
    check(bool(FT_Open), "FT_Open");
    check(bool(FT_GetComPortNumber), "FT_GetComPortNumber");
    check(bool(FT_SetBaudRate), "FT_SetBaudRate");
    check(bool(FT_SetFlowControl), "FT_SetFlowControl");
    check(bool(FT_SetTimeouts), "FT_SetTimeouts");
    check(bool(FT_SetLatencyTimer), "FT_SetLatencyTimer");
    check(bool(FT_SetDataCharacteristics), "FT_SetDataCharacteristics");
    check(bool(FT_Purge), "FT_Purge");
    check(bool(FT_Read), "FT_Read");
    check(bool(FT_Close), "FT_Close");
    check(bool(FT_GetLatencyTimer), "FT_GetLatencyTimer");
    check(bool(FT_SetUSBParameters), "FT_SetUSBParameters");
    return missing;
}

} // namespace vintrel

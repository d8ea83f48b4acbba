#include "delay/CorrLibrary.h"

namespace vintrel {

CorrLibrary::~CorrLibrary() {
    MemFreeLibrary(module_);
}

LoadDllStatus CorrLibrary::LoadDll(std::span<const uint8_t> p_DllData) {
    MemFreeLibrary(module_);
    module_ = nullptr;
    entries_ = {};
    message_.clear();
    module_ = MemLoadLibrary(p_DllData);
    if (!module_) {
        message_ = "An error occured while loading dll: " + MemGetLastError();
        return LoadDllStatus::Fatal;
    }
    entries_.CreateObj = reinterpret_cast<corr_init_fn>(MemGetProcAddress(module_, "corr_init"));
    entries_.PutFrame = reinterpret_cast<corr_put_frame_fn>(MemGetProcAddress(module_, "corr_put_frame"));
    entries_.GetCorr = reinterpret_cast<corr_state_fn>(MemGetProcAddress(module_, "corr_state"));
    entries_.FreeObj = reinterpret_cast<corr_destroy_fn>(MemGetProcAddress(module_, "corr_destroy"));
    if (!entries_.FreeObj) {
        // The program ends without it, so the box says why; the other three go unmentioned.
        message_ = "An error occured while loading dll: corr_destroy not found";
        return LoadDllStatus::Fatal;
    }
    return entries_.Complete() ? LoadDllStatus::Loaded : LoadDllStatus::Incomplete;
}

} // namespace vintrel

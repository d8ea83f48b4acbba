#pragma once
// The delay estimator library as the program uses it: its image, carried inside the program,
// is loaded from memory once at start-up and its four exports are bound by name to the entry
// points CreateObj, PutFrame, GetCorr and FreeObj. The image stays loaded while this object
// lives (the program keeps one for its whole run).
//
// Threads: LoadDll runs on the window thread before any feeding; afterwards the entry points
// are only read.
#include "delay/CorrEntryPoints.h"
#include "delay/MemModule.h"

#include <cstdint>
#include <span>
#include <string>

namespace vintrel {

enum class LoadDllStatus {
    Loaded,     // all four entry points bound
    Incomplete, // FreeObj bound, another entry point not: the delay analysis cannot run
    Fatal,      // FreeObj unbound (the image did not load, or lacks "corr_destroy"): the program ends
};

class CorrLibrary {
public:
    CorrLibrary() = default;
    ~CorrLibrary();
    CorrLibrary(const CorrLibrary&) = delete;
    CorrLibrary& operator=(const CorrLibrary&) = delete;

    // Loads the image and binds the entry points. When the image cannot be loaded, Message()
    // holds "An error occured while loading dll: " and the loader's reason, for the error box;
    // without "corr_destroy" the same prefix is followed by "corr_destroy not found". Any other
    // missing export leaves its entry point unbound without a message.
    LoadDllStatus LoadDll(std::span<const uint8_t> p_DllData);

    const CorrEntryPoints& Entries() const { return entries_; }
    const std::string& Message() const { return message_; }

private:
    TMemModule* module_ = nullptr;
    CorrEntryPoints entries_;
    std::string message_;
};

} // namespace vintrel

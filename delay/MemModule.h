#pragma once
// Loads a shared library from an image in memory, never writing it to disk: the bytes go into
// an anonymous memory file (memfd_create), which is sealed and handed to the system loader by
// its /proc/self/fd path. Exports are then looked up by name.
//
// Failures are reported through the last error text of the calling thread (MemGetLastError),
// never by exceptions.
#include <cstdint>
#include <span>
#include <string>

namespace vintrel {

// One loaded image.
struct TMemModule {
    void* handle = nullptr; // the system loader's handle
    // The memory file, open while the image is loaded: the loader knows the image by the path
    // /proc/self/fd/N, and a number still open cannot be handed to another image.
    int fd = -1;
};

// Loads the image; nullptr with the last error set on failure. An image whose ELF header is not
// that of a shared object for this machine, or whose segments reach past its end, is refused
// before anything is allocated.
TMemModule* MemLoadLibrary(std::span<const uint8_t> data);
// The address of the export `name` (case-sensitive), or nullptr with the last error set.
void* MemGetProcAddress(TMemModule* module, const char* name);
// Unloads the image and frees the record.
void MemFreeLibrary(TMemModule* module);
// The text of the last failure on this thread.
const std::string& MemGetLastError();

} // namespace vintrel

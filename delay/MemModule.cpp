#include "delay/MemModule.h"

#include "stream/SystemError.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vintrel {

namespace {

thread_local std::string lastErrStr;

void SetError(std::string text) {
    lastErrStr = std::move(text);
}

std::string SystemError(const char* what) {
    return std::string(what) + ": " + SystemErrorText(errno);
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
    }
    return true;
}

#if defined(__x86_64__)
constexpr int kHostMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int kHostMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int kHostMachine = EM_386;
#elif defined(__arm__)
constexpr int kHostMachine = EM_ARM;
#else
constexpr int kHostMachine = -1; // not checked
#endif

bool Fits(uint64_t offset, uint64_t length, size_t size) {
    return offset <= size && length <= size - offset;
}

// The system loader trusts the headers it is given: a segment that reaches past the end of the
// image would be mapped over nothing and fault when touched. So before the image goes to it,
// the ELF header must describe a shared object for this machine, and the program headers and
// every loadable segment must lie inside the image. An empty string means the image passed.
std::string CheckElfImage(std::span<const uint8_t> data) {
    static const char* const kBadHeader = "MemLoadLibrary: dll ELF header is not valid";
    ElfW(Ehdr) eh;
    if (data.size() < sizeof eh || std::memcmp(data.data(), ELFMAG, SELFMAG) != 0) return kBadHeader;
    std::memcpy(&eh, data.data(), sizeof eh);
    const int hostClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    const int hostData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
    if (eh.e_ident[EI_CLASS] != hostClass || eh.e_ident[EI_DATA] != hostData ||
        eh.e_ident[EI_VERSION] != EV_CURRENT || eh.e_type != ET_DYN ||
        (kHostMachine >= 0 && eh.e_machine != kHostMachine) || eh.e_phentsize != sizeof(ElfW(Phdr)) ||
        eh.e_phnum == 0 || !Fits(eh.e_phoff, uint64_t(eh.e_phnum) * sizeof(ElfW(Phdr)), data.size()))
        return kBadHeader;
    for (int i = 0; i < eh.e_phnum; ++i) {
        ElfW(Phdr) ph;
        std::memcpy(&ph, data.data() + eh.e_phoff + size_t(i) * sizeof ph, sizeof ph);
        if ((ph.p_type == PT_LOAD || ph.p_type == PT_DYNAMIC) &&
            (!Fits(ph.p_offset, ph.p_filesz, data.size()) || ph.p_filesz > ph.p_memsz))
            return "MemLoadLibrary: dll image is truncated or damaged";
    }
    return "";
}

std::string FdPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool PathTaken(int fd) {
    void* h = dlopen(FdPath(fd).c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return false;
    dlclose(h); // drops the reference RTLD_NOLOAD took
    return true;
}

} // namespace

TMemModule* MemLoadLibrary(std::span<const uint8_t> data) {
    if (std::string bad = CheckElfImage(data); !bad.empty()) {
        SetError(std::move(bad));
        return nullptr;
    }
    int fd = memfd_create("libQuendel.so", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        SetError(SystemError("MemLoadLibrary: memfd_create failed"));
        return nullptr;
    }
    if (!WriteAll(fd, data.data(), data.size())) {
        SetError(SystemError("MemLoadLibrary: writing the image failed"));
        close(fd);
        return nullptr;
    }
    // Nobody changes the image behind the loader's back.
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    // The system loader knows objects by path: if an earlier image under this path was never
    // unloaded, the same path would give that image back, so the file is moved to a free number.
    int loadFd = fd;
    for (int tries = 0; tries < 16 && PathTaken(loadFd); ++tries) {
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, loadFd + 1);
        if (loadFd != fd) close(loadFd);
        if (moved < 0) {
            SetError(SystemError("MemLoadLibrary: no free descriptor"));
            close(fd);
            return nullptr;
        }
        loadFd = moved;
    }
    if (loadFd != fd) {
        close(fd);
        fd = loadFd;
    }
    dlerror();
    void* handle = dlopen(FdPath(fd).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        SetError(std::string("MemLoadLibrary: ") + (why ? why : "the system loader refused the image"));
        close(fd);
        return nullptr;
    }
    auto* module = new TMemModule;
    module->handle = handle;
    module->fd = fd;
    return module;
}

void* MemGetProcAddress(TMemModule* module, const char* name) {
    if (!module || !module->handle || !name) {
        SetError("MemGetProcAddress: no module");
        return nullptr;
    }
    dlerror();
    void* p = dlsym(module->handle, name);
    if (!p) SetError("MemGetProcAddress: exported symbol not found");
    return p;
}

void MemFreeLibrary(TMemModule* module) {
    if (!module) return;
    if (module->handle) dlclose(module->handle);
    if (module->fd >= 0) close(module->fd);
    delete module;
}

const std::string& MemGetLastError() {
    return lastErrStr;
}

} // namespace vintrel

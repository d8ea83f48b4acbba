// Loading the estimator library from memory, and the ways a load can fail.
#include "delay/MemModule.h"
#include "delay/CorrLibrary.h"
#include "delay/SignalsForTests.h"
#include "quendel/QuendelImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace vintrel::test {
namespace {

std::vector<uint8_t> FileBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> Image() {
    return {QuendelImage().begin(), QuendelImage().end()};
}

// The line of /proc/self/maps whose range holds `address`.
std::string MappingOf(const void* address) {
    std::ifstream in("/proc/self/maps");
    std::string line;
    const auto a = reinterpret_cast<uintptr_t>(address);
    while (std::getline(in, line)) {
        uintptr_t lo = 0, hi = 0;
        char dash = 0;
        std::istringstream s(line);
        s >> std::hex >> lo >> dash >> hi;
        if (a >= lo && a < hi) return line;
    }
    return "";
}

bool NoneBound(const CorrEntryPoints& e) {
    return !e.CreateObj && !e.PutFrame && !e.GetCorr && !e.FreeObj;
}

TEST(MemModule, LoadsTheEmbeddedImageFromMemoryAndBindsByName) {
    CorrLibrary library;
    ASSERT_EQ(library.LoadDll(QuendelImage()), LoadDllStatus::Loaded) << library.Message();
    EXPECT_TRUE(library.Message().empty());
    const CorrEntryPoints& e = library.Entries();
    ASSERT_TRUE(e.Complete());
    // The code runs from the anonymous memory file, not from any file on disk.
    EXPECT_NE(MappingOf(reinterpret_cast<void*>(e.GetCorr)).find("/memfd:libQuendel.so"), std::string::npos)
        << MappingOf(reinterpret_cast<void*>(e.GetCorr));
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(e.CreateObj), &info), 0);
    EXPECT_EQ(std::string(info.dli_fname).rfind("/proc/self/fd/", 0), 0u) << info.dli_fname;

    void* obj = nullptr;
    ASSERT_EQ(e.CreateObj(&obj, 8000, 8000, 200, 1200, 200, 0.2, 0.2, 0.3), 0);
    const auto x = Noise(8192, 4);
    const auto a = Delayed(x, 40);
    e.PutFrame(obj, a.data(), x.data(), int32_t(x.size()));
    EXPECT_EQ(e.GetCorr(obj).delay, 40);
    EXPECT_NE(e.FreeObj(obj), 0);
}

TEST(MemModule, DamagedImagesEndTheProgramWithTheLoaderMessage) {
    CorrLibrary library;
    // Not an ELF image at all: refused before anything is made.
    auto notElf = Image();
    notElf[0] = 'M';
    notElf[1] = 'Z';
    EXPECT_EQ(library.LoadDll(notElf), LoadDllStatus::Fatal);
    EXPECT_EQ(library.Message(),
              "An error occured while loading dll: MemLoadLibrary: dll ELF header is not valid");
    EXPECT_TRUE(NoneBound(library.Entries()));
    EXPECT_EQ(library.LoadDll({}), LoadDllStatus::Fatal);
    EXPECT_EQ(library.Message(),
              "An error occured while loading dll: MemLoadLibrary: dll ELF header is not valid");

    // The right magic with its header scrambled, or cut short: refused before the system loader
    // sees it (it would map the missing part over nothing and fault on it).
    auto scrambled = Image();
    for (size_t i = 16; i < 64; ++i) scrambled[i] ^= 0xA5;
    EXPECT_EQ(library.LoadDll(scrambled), LoadDllStatus::Fatal);
    EXPECT_EQ(library.Message(),
              "An error occured while loading dll: MemLoadLibrary: dll ELF header is not valid");
    for (size_t keep : {size_t(100), Image().size() / 3, Image().size() / 2}) {
        auto cut = Image();
        cut.resize(keep);
        EXPECT_EQ(library.LoadDll(cut), LoadDllStatus::Fatal) << keep;
        EXPECT_EQ(
            library.Message(),
            keep == 100
                ? "An error occured while loading dll: MemLoadLibrary: dll ELF header is not valid"
                : "An error occured while loading dll: MemLoadLibrary: dll image is truncated or damaged")
            << keep;
        EXPECT_TRUE(NoneBound(library.Entries()));
    }
    // An image that needs a library the system cannot load: the system loader's own reason,
    // which names the library, follows the prefix.
    auto needsMissing = Image();
    const std::string libm = "libm.so.6";
    auto at = std::search(needsMissing.begin(), needsMissing.end(), libm.begin(), libm.end());
    ASSERT_NE(at, needsMissing.end());
    at[3] = 'q'; // libq.so.6
    EXPECT_EQ(library.LoadDll(needsMissing), LoadDllStatus::Fatal);
    EXPECT_EQ(library.Message().rfind("An error occured while loading dll: MemLoadLibrary: ", 0), 0u);
    EXPECT_NE(library.Message().find("libq.so.6"), std::string::npos) << library.Message();
    EXPECT_TRUE(NoneBound(library.Entries()));

    // A good image after the failures loads normally.
    EXPECT_EQ(library.LoadDll(QuendelImage()), LoadDllStatus::Loaded);
}

TEST(MemModule, MissingExportsLeaveTheirEntryPointsUnbound) {
    CorrLibrary library;
    // Without corr_destroy the program must end; the box says which name was missing.
    const auto noDestroy = FileBytes(VINTREL_LACKING_DESTROY_PATH);
    ASSERT_FALSE(noDestroy.empty());
    EXPECT_EQ(library.LoadDll(noDestroy), LoadDllStatus::Fatal);
    EXPECT_EQ(library.Message(), "An error occured while loading dll: corr_destroy not found");
    EXPECT_TRUE(library.Entries().CreateObj && library.Entries().PutFrame && library.Entries().GetCorr);
    EXPECT_EQ(library.Entries().FreeObj, nullptr);
    // Without corr_state the program goes on, the delay analysis cannot run, and no box is shown.
    EXPECT_EQ(library.LoadDll(FileBytes(VINTREL_LACKING_STATE_PATH)), LoadDllStatus::Incomplete);
    EXPECT_TRUE(library.Message().empty());
    EXPECT_EQ(library.Entries().GetCorr, nullptr);
    EXPECT_NE(library.Entries().FreeObj, nullptr);
    EXPECT_FALSE(library.Entries().Complete());
}

TEST(MemModule, ExportLookupIsByExactName) {
    TMemModule* m = MemLoadLibrary(QuendelImage());
    ASSERT_NE(m, nullptr) << MemGetLastError();
    EXPECT_NE(MemGetProcAddress(m, "corr_state"), nullptr);
    EXPECT_EQ(MemGetProcAddress(m, "corr_State"), nullptr);
    EXPECT_EQ(MemGetLastError(), "MemGetProcAddress: exported symbol not found");
    // Internal functions are not exported.
    EXPECT_EQ(MemGetProcAddress(m, "_ZN7quendel13CorrEstimator5StateEv"), nullptr);
    MemFreeLibrary(m);
}

TEST(MemModule, ImagesLoadedOneAfterAnotherStayApart) {
    // The loader knows objects by their /proc/self/fd path; descriptor numbers come back after
    // a module is freed, and a second image must never be answered with the first one.
    const auto lacking = FileBytes(VINTREL_LACKING_DESTROY_PATH);
    for (int round = 0; round < 20; ++round) {
        TMemModule* real = MemLoadLibrary(QuendelImage());
        ASSERT_NE(real, nullptr) << MemGetLastError();
        ASSERT_NE(MemGetProcAddress(real, "corr_destroy"), nullptr);
        void* const realInit = MemGetProcAddress(real, "corr_init");
        const bool freedFirst = round % 2 == 1;
        if (freedFirst) MemFreeLibrary(real);
        TMemModule* other = MemLoadLibrary(lacking);
        ASSERT_NE(other, nullptr) << MemGetLastError();
        EXPECT_EQ(MemGetProcAddress(other, "corr_destroy"), nullptr) << "round " << round;
        if (!freedFirst) {
            EXPECT_NE(MemGetProcAddress(other, "corr_init"), realInit);
        }
        MemFreeLibrary(other);
        if (!freedFirst) MemFreeLibrary(real);
    }
}

} // namespace
} // namespace vintrel::test

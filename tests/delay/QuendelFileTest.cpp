// The built libQuendel.so read as a file: its dynamic symbol table shows exactly the four
// exports, and it needs no library but the C and C++ runtimes. The embedded image is the same
// library (the file with its debug sections stripped).
#include "quendel/QuendelImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace vintrel::test {
namespace {

struct DynamicInfo {
    std::set<std::string> definedGlobals; // defined functions and objects with global or weak binding
    std::set<std::string> needed;         // DT_NEEDED
};

// A plain reader of 64-bit little-endian ELF section headers; enough for .dynsym and .dynamic.
bool ReadDynamicInfo(const std::vector<uint8_t>& f, DynamicInfo& out) {
    if (f.size() < sizeof(Elf64_Ehdr) || std::memcmp(f.data(), ELFMAG, SELFMAG) != 0 ||
        f[EI_CLASS] != ELFCLASS64)
        return false;
    Elf64_Ehdr eh;
    std::memcpy(&eh, f.data(), sizeof eh);
    auto section = [&](int i) {
        Elf64_Shdr sh;
        std::memcpy(&sh, f.data() + eh.e_shoff + size_t(i) * eh.e_shentsize, sizeof sh);
        return sh;
    };
    if (eh.e_shoff + size_t(eh.e_shnum) * eh.e_shentsize > f.size()) return false;
    for (int i = 0; i < eh.e_shnum; ++i) {
        const Elf64_Shdr sh = section(i);
        if (sh.sh_type != SHT_DYNSYM && sh.sh_type != SHT_DYNAMIC) continue;
        const Elf64_Shdr strtab = section(int(sh.sh_link));
        const char* strings = reinterpret_cast<const char*>(f.data() + strtab.sh_offset);
        if (sh.sh_type == SHT_DYNSYM) {
            for (size_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
                Elf64_Sym s;
                std::memcpy(&s, f.data() + sh.sh_offset + off, sizeof s);
                const int bind = ELF64_ST_BIND(s.st_info), type = ELF64_ST_TYPE(s.st_info);
                if (s.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
                if (type != STT_FUNC && type != STT_OBJECT && type != STT_GNU_IFUNC) continue;
                out.definedGlobals.insert(strings + s.st_name);
            }
        } else {
            for (size_t off = 0; off + sizeof(Elf64_Dyn) <= sh.sh_size; off += sizeof(Elf64_Dyn)) {
                Elf64_Dyn d;
                std::memcpy(&d, f.data() + sh.sh_offset + off, sizeof d);
                if (d.d_tag == DT_NEEDED) out.needed.insert(strings + d.d_un.d_val);
            }
        }
    }
    return true;
}

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(QuendelFile, ExportsExactlyTheFourFunctionsAndNeedsOnlyTheRuntime) {
    for (const std::vector<uint8_t>& bytes :
         {ReadFile(VINTREL_QUENDEL_PATH),
          std::vector<uint8_t>(QuendelImage().begin(), QuendelImage().end())}) {
        DynamicInfo info;
        ASSERT_TRUE(ReadDynamicInfo(bytes, info));
        EXPECT_EQ(info.definedGlobals,
                  (std::set<std::string>{"corr_init", "corr_put_frame", "corr_state", "corr_destroy"}));
        for (const std::string& lib : info.needed) {
            const bool runtime = lib.rfind("libc.so", 0) == 0 || lib.rfind("libm.so", 0) == 0 ||
                                 lib.rfind("libstdc++.so", 0) == 0 || lib.rfind("libgcc_s.so", 0) == 0 ||
                                 lib.rfind("libasan", 0) == 0 || lib.rfind("libubsan", 0) == 0 ||
                                 lib.rfind("libtsan", 0) == 0;
            EXPECT_TRUE(runtime) << lib;
        }
    }
}

} // namespace
} // namespace vintrel::test

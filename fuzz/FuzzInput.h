#pragma once
// Takes a fuzzer's input apart: a few leading bytes choose the options of a run, the rest is the
// data. Reading past the end gives zeros, so every input is usable.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>

namespace vintrel::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t Word() { return uint16_t(Byte() | Byte() << 8); }
    const uint8_t* Rest() const { return data_ + pos_; }
    size_t RestSize() const { return size_ - pos_; }
    std::string_view RestText() const { return {reinterpret_cast<const char*>(Rest()), RestSize()}; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A folder of this process's own for the files a target writes, made once and reused.
inline const std::string& ScratchFolder() {
    static const std::string dir = [] {
        std::string t = "/tmp/vintrel-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
        return std::string(::mkdtemp(t.data()) ? t : "/tmp");
    }();
    return dir;
}

inline bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace vintrel::fuzz

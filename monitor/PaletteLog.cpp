#include "monitor/PaletteLog.h"

#include <cstddef>

namespace vintrel {

namespace {
constexpr uint32_t Rgb(int r, int g, int b) {
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

constexpr std::array<uint32_t, 256> MakePalette() {
    std::array<uint32_t, 256> p{};
    for (int i = 0; i < 96; ++i) p[std::size_t(i)] = Rgb((i + 1) * 255 / 96, 0, 0);
    for (int i = 96; i < 192; ++i) p[std::size_t(i)] = Rgb(255, (i - 95) * 255 / 96, 0);
    for (int i = 192; i < 256; ++i) p[std::size_t(i)] = Rgb(255, 255, (i - 191) * 255 / 64);
    // Two entries of the table as the product has always shown it sit one step below the ramp.
    p[31] = Rgb(84, 0, 0);
    p[127] = Rgb(255, 84, 0);
    return p;
}
} // namespace

const std::array<uint32_t, 256> PaletteLog = MakePalette();

} // namespace vintrel

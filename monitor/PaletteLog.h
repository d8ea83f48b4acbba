#pragma once
// The colours of the spectrum columns: from almost black through red and yellow to white.
#include <array>
#include <cstdint>

namespace vintrel {

// 256 entries as 0xFFRRGGBB.
extern const std::array<uint32_t, 256> PaletteLog;

} // namespace vintrel

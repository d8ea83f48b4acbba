#pragma once
// The bytes of libQuendel.so as built with the program (linked from vintrel_quendel_image).
#include <cstdint>
#include <span>

namespace vintrel {

std::span<const uint8_t> QuendelImage();

} // namespace vintrel

#pragma once
// Channel tags and their names ("Raw_TXIN3", "Ampl_RXOUT1", "VAD_TX3", "MIPS" ...).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vintrel {

constexpr uint16_t kMaxTagForLists = 0x10FF; // selection lists and the configuration file
constexpr uint16_t kMaxTagForFiles = 0x8002; // names of recorded files

// "None" (or "" when maxTag is kMaxTagForFiles) for tag 0 and tags above maxTag.
std::string GetParNameFromTag(uint16_t tag, uint16_t maxTag);

// Raw and amplitude names only; 0 for "None" or a name not understood. A number part that is
// not a decimal integer is a conversion error: nullopt from the Try form, 0 from the plain one.
std::optional<int16_t> TryGetTagFromParName(std::string_view name);
int16_t GetTagFromParName(std::string_view name);

// Slot 0-127 of a raw or amplitude channel tag in the presence table, -1 for other tags.
int TagSlot(uint16_t tag);

} // namespace vintrel

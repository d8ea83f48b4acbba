#pragma once
// Numbers typed into edits: blanks and control characters around them are trimmed; an optional
// sign and decimal digits, or "$" and hexadecimal digits.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vintrel {

std::string TrimBlanks(std::string_view text);

// nullopt when the text is no 32-bit signed integer ("12.5", "", "12a", "99999999999").
std::optional<int32_t> TextToInt32(std::string_view text);

} // namespace vintrel

#pragma once
// Small text and number helpers. Each one reads by a rule of its own, stated beside it; a caller
// picks the rule it needs instead of writing another.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vintrel {

// Removes spaces and control characters (every byte up to ' ') from both ends.
std::string_view TrimBlanks(std::string_view text);

// A strict decimal integer: an optional '+' or '-' and decimal digits that fill the whole text,
// within T's range (no minus sign for unsigned types). Blanks, a second sign, a fraction or any
// other character make it nullopt. Settings, command-line options, address parts and ports read
// their numbers by this rule.
template <class T> std::optional<T> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    T value{};
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || p != end) return std::nullopt;
    return value;
}

// A setting typed into an edit: blanks trimmed, then a strict decimal integer; the fallback
// stands for any text that is not one.
template <class T> T DecimalOr(std::string_view text, T fallback) {
    return ParseDecimal<T>(TrimBlanks(text)).value_or(fallback);
}

// A real number as std::strtod reads it (leading blanks, a sign, decimals, an exponent) that
// fills the rest of the text and is finite; nullopt for anything else ("", "5s", "inf").
std::optional<double> ParseReal(std::string_view text);

// The record's integer text: blanks trimmed, an optional sign, then decimal digits, or "$" and
// hexadecimal digits of either case. Hexadecimal text names the 32 bits themselves ($FFFFFFFF is
// -1). nullopt for anything else or a value outside 32 bits ("12.5", "", "12a", "99999999999").
std::optional<int32_t> TextToInt32(std::string_view text);

// The text a failed integer conversion shows: "'x' is not a valid integer value".
std::string NotAnIntegerText(std::string_view text);

// Whether `part` occurs in `text`, letters compared without case (ASCII). An empty part occurs
// in every text. The status line's clears match by this rule.
bool ContainsNoCase(std::string_view text, std::string_view part);

// "0213": a word as four upper-case hexadecimal digits.
std::string Hex4(uint16_t w);

// "0213 ABCD ": n words as Hex4, each followed by a space.
std::string HexWords(const uint16_t* w, int n);

} // namespace vintrel

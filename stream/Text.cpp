#include "stream/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vintrel {

std::string_view TrimBlanks(std::string_view text) {
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<double> ParseReal(std::string_view text) {
    const std::string t(text); // strtod needs the terminating zero
    char* end = nullptr;
    const double value = std::strtod(t.c_str(), &end);
    if (t.empty() || end != t.c_str() + t.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int32_t> TextToInt32(std::string_view text) {
    const std::string_view t = TrimBlanks(text);
    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    int base = 10;
    if (i < t.size() && t[i] == '$') {
        base = 16;
        ++i;
    }
    if (i >= t.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > int64_t(UINT32_MAX)) return std::nullopt;
    }
    if (base == 16 && value > INT32_MAX) value -= int64_t(1) << 32;
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::string NotAnIntegerText(std::string_view text) {
    std::string s;
    s.reserve(text.size() + 32);
    s += '\'';
    s += text;
    s += "' is not a valid integer value";
    return s;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    const auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
    return it != text.end() || part.empty();
}

std::string Hex4(uint16_t w) {
    char s[8];
    std::snprintf(s, sizeof s, "%04X", unsigned(w));
    return s;
}

std::string HexWords(const uint16_t* w, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += Hex4(w[i]) + " ";
    return s;
}

} // namespace vintrel

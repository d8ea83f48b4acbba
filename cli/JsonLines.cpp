#include "cli/JsonLines.h"

#include <charconv>
#include <cmath>

namespace vintrel::cli {

namespace {

// The length of the valid UTF-8 sequence at p (at most n bytes), 0 when it is not one.
size_t Utf8Length(const unsigned char* p, size_t n) {
    const unsigned char c = p[0];
    size_t len;
    uint32_t min;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n < len) return 0;
    uint32_t cp = c & (0x7F >> len);
    for (size_t i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are no text.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    return len;
}

} // namespace

void AppendJsonString(std::string& to, std::string_view text) {
    to += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            to += '\\';
            to += char(c);
        } else if (c == '\n') {
            to += "\\n";
        } else if (c == '\r') {
            to += "\\r";
        } else if (c == '\t') {
            to += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char u[8];
            std::snprintf(u, sizeof u, "\\u%04x", c);
            to += u;
        } else {
            const size_t len = Utf8Length(p + i, text.size() - i);
            if (len == 0) {
                to += "\xEF\xBF\xBD"; // U+FFFD for the byte that starts no character
                ++i;
                continue;
            }
            to.append(text.data() + i, len);
            i += len;
            continue;
        }
        ++i;
    }
    to += '"';
}

void AppendJsonNumber(std::string& to, double value) {
    if (!std::isfinite(value)) {
        to += "null";
        return;
    }
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    to.append(buf, r.ptr);
}

std::string& JsonObject::Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    AppendJsonString(text_, key);
    text_ += ':';
    return text_;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    AppendJsonString(Key(key), value);
    return *this;
}
JsonObject& JsonObject::Add(std::string_view key, bool value) {
    Key(key) += value ? "true" : "false";
    return *this;
}
JsonObject& JsonObject::Add(std::string_view key, double value) {
    AppendJsonNumber(Key(key), value);
    return *this;
}
JsonObject& JsonObject::Add(std::string_view key, const JsonObject& value) {
    Key(key) += value.Text();
    return *this;
}
JsonObject& JsonObject::Add(std::string_view key, const JsonArray& value) {
    Key(key) += value.Text();
    return *this;
}
JsonObject& JsonObject::Null(std::string_view key) {
    Key(key) += "null";
    return *this;
}

std::string& JsonArray::Next() {
    if (text_.size() > 1) text_ += ',';
    return text_;
}
JsonArray& JsonArray::Push(std::string_view value) {
    AppendJsonString(Next(), value);
    return *this;
}
JsonArray& JsonArray::Push(int64_t value) {
    Next() += std::to_string(value);
    return *this;
}
JsonArray& JsonArray::Push(const JsonObject& value) {
    Next() += value.Text();
    return *this;
}

void JsonLines::Write(const JsonObject& o) {
    const std::string line = o.Text() + "\n";
    std::fwrite(line.data(), 1, line.size(), to_);
    std::fflush(to_);
}

void JsonReport::Warning(std::string_view text) {
    Write(Typed("warning").Add("message", text));
}

void JsonReport::Error(std::string_view text) {
    Write(Typed("error").Add("message", text));
}

int JsonReport::Summary(JsonObject o, int exitStatus) {
    if (!summarised_) Write(o.Add("exit_status", exitStatus));
    summarised_ = true;
    return exitStatus;
}

} // namespace vintrel::cli

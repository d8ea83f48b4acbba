#pragma once
// JSON Lines for the verbs' --json output: objects built member by member, each written as one
// line and flushed at once so that a reader sees it as it happens.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace vintrel::cli {

// Appends `text` as a JSON string: quotes, backslashes and control characters escaped, bytes
// that are not valid UTF-8 replaced by U+FFFD.
void AppendJsonString(std::string& to, std::string_view text);
// Appends a number; a value that is not finite becomes null.
void AppendJsonNumber(std::string& to, double value);

class JsonArray;

class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
    JsonObject& Add(std::string_view key, const std::string& value) {
        return Add(key, std::string_view(value));
    }
    JsonObject& Add(std::string_view key, bool value);
    // Any whole number (not bool).
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    JsonObject& Add(std::string_view key, T value) {
        Key(key) += std::to_string(value);
        return *this;
    }
    JsonObject& Add(std::string_view key, double value);
    JsonObject& Add(std::string_view key, const JsonObject& value);
    JsonObject& Add(std::string_view key, const JsonArray& value);
    template <typename T> JsonObject& Add(std::string_view key, const std::optional<T>& value) {
        return value ? Add(key, *value) : Null(key);
    }
    JsonObject& Null(std::string_view key);

    // The object's text, "{...}".
    std::string Text() const { return text_ + "}"; }

private:
    std::string& Key(std::string_view key);
    std::string text_ = "{";
};

class JsonArray {
public:
    JsonArray& Push(std::string_view value);
    JsonArray& Push(int64_t value);
    JsonArray& Push(const JsonObject& value);
    bool Empty() const { return text_.size() == 1; }
    std::string Text() const { return text_ + "]"; }

private:
    std::string& Next();
    std::string text_ = "[";
};

// Writes objects as lines to a stream (standard output by default), each flushed.
class JsonLines {
public:
    explicit JsonLines(std::FILE* to = stdout) : to_(to) {}
    void Write(const JsonObject& o);

private:
    std::FILE* to_;
};

// An object that begins with its "type".
inline JsonObject Typed(std::string_view type) {
    JsonObject o;
    o.Add("type", type);
    return o;
}

// A verb's machine-readable side: with --json on, the lines; the text goes to standard error.
// Off, nothing is written and the text goes to standard output.
class JsonReport {
public:
    explicit JsonReport(bool on) : on_(on) {}
    bool On() const { return on_; }
    // Where the human-readable text goes.
    std::FILE* Text() const { return on_ ? stderr : stdout; }
    void Write(const JsonObject& o) {
        if (on_) lines_.Write(o);
    }
    void Warning(std::string_view text);
    void Error(std::string_view text);
    // The one summary at the end: `o` (begun with Typed("summary")) with the exit status added.
    // Written once; later calls are ignored.
    int Summary(JsonObject o, int exitStatus);

private:
    bool on_;
    bool summarised_ = false;
    JsonLines lines_;
};

} // namespace vintrel::cli

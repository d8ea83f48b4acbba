#pragma once
// A small JSON reader for tests of JSON Lines output: parses one line strictly (RFC 8259) and
// throws std::runtime_error at anything that is not JSON.
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace vintrel::test {

struct Json {
    using Object = std::map<std::string, Json>;
    using Array = std::vector<Json>;
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>, std::shared_ptr<Object>>
        v;

    bool IsNull() const { return std::holds_alternative<std::nullptr_t>(v); }
    double Num() const { return std::get<double>(v); }
    bool Bool() const { return std::get<bool>(v); }
    const std::string& Str() const { return std::get<std::string>(v); }
    const Array& Arr() const { return *std::get<std::shared_ptr<Array>>(v); }
    const Object& Obj() const { return *std::get<std::shared_ptr<Object>>(v); }
    bool Has(const std::string& key) const { return Obj().count(key) > 0; }
    // A member that must be there.
    const Json& operator[](const std::string& key) const {
        const auto it = Obj().find(key);
        if (it == Obj().end()) throw std::runtime_error("no member \"" + key + "\"");
        return it->second;
    }

    static Json Parse(const std::string& text) {
        size_t i = 0;
        Json j = Value(text, i);
        Blank(text, i);
        if (i != text.size()) throw std::runtime_error("text after the value: " + text);
        return j;
    }

private:
    static void Blank(const std::string& t, size_t& i) {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) ++i;
    }
    static void Expect(const std::string& t, size_t& i, const std::string& word) {
        if (t.compare(i, word.size(), word) != 0) throw std::runtime_error("bad JSON at " + t.substr(i, 20));
        i += word.size();
    }
    static std::string String(const std::string& t, size_t& i) {
        Expect(t, i, "\"");
        std::string s;
        while (i < t.size() && t[i] != '"') {
            const unsigned char c = t[i++];
            if (c < 0x20) throw std::runtime_error("raw control character in a string");
            if (c != '\\') {
                s += char(c);
                continue;
            }
            if (i >= t.size()) break;
            const char e = t[i++];
            const std::string simple = "\"\\/bfnrt", meant = "\"\\/\b\f\n\r\t";
            if (const auto k = simple.find(e); k != std::string::npos) {
                s += meant[k];
            } else if (e == 'u' && i + 4 <= t.size()) {
                const unsigned cp = std::stoul(t.substr(i, 4), nullptr, 16);
                i += 4;
                if (cp < 0x80) {
                    s += char(cp);
                } else if (cp < 0x800) {
                    s += char(0xC0 | cp >> 6);
                    s += char(0x80 | (cp & 0x3F));
                } else {
                    s += char(0xE0 | cp >> 12);
                    s += char(0x80 | (cp >> 6 & 0x3F));
                    s += char(0x80 | (cp & 0x3F));
                }
            } else {
                throw std::runtime_error("bad escape");
            }
        }
        Expect(t, i, "\"");
        return s;
    }
    static Json Value(const std::string& t, size_t& i) {
        Blank(t, i);
        if (i >= t.size()) throw std::runtime_error("no value");
        Json j;
        const char c = t[i];
        if (c == '{') {
            auto o = std::make_shared<Object>();
            ++i;
            Blank(t, i);
            if (t[i] != '}') {
                for (;;) {
                    Blank(t, i);
                    std::string key = String(t, i);
                    Blank(t, i);
                    Expect(t, i, ":");
                    if (!o->emplace(key, Value(t, i)).second) throw std::runtime_error("key twice: " + key);
                    Blank(t, i);
                    if (t[i] != ',') break;
                    ++i;
                }
            }
            Expect(t, i, "}");
            j.v = o;
        } else if (c == '[') {
            auto a = std::make_shared<Array>();
            ++i;
            Blank(t, i);
            if (t[i] != ']') {
                for (;;) {
                    a->push_back(Value(t, i));
                    Blank(t, i);
                    if (t[i] != ',') break;
                    ++i;
                }
            }
            Expect(t, i, "]");
            j.v = a;
        } else if (c == '"') {
            j.v = String(t, i);
        } else if (t.compare(i, 4, "null") == 0) {
            i += 4;
        } else if (t.compare(i, 4, "true") == 0) {
            i += 4;
            j.v = true;
        } else if (t.compare(i, 5, "false") == 0) {
            i += 5;
            j.v = false;
        } else {
            // JSON numbers: no leading '+', no hex, no "nan"/"inf".
            if (c != '-' && (c < '0' || c > '9')) throw std::runtime_error("bad JSON at " + t.substr(i, 20));
            char* end = nullptr;
            j.v = std::strtod(t.c_str() + i, &end);
            const size_t n = size_t(end - (t.c_str() + i));
            if (t.compare(i, n, t.substr(i, n)) != 0 ||
                t.substr(i, n).find_first_of("xXnN") != std::string::npos)
                throw std::runtime_error("bad number");
            i += n;
        }
        return j;
    }
};

// Every line of `out` parsed; a line that is no JSON throws.
inline std::vector<Json> JsonLinesOf(const std::string& out) {
    std::vector<Json> v;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        v.push_back(Json::Parse(out.substr(pos, end - pos)));
        pos = end + 1;
    }
    return v;
}

// The lines of `out` that begin as an object with a type, parsed (for standard output and
// standard error read together).
inline std::vector<Json> JsonLinesAmong(const std::string& out) {
    std::vector<Json> v;
    for (size_t pos = 0; pos < out.size();) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        if (out.compare(pos, 8, "{\"type\":") == 0) v.push_back(Json::Parse(out.substr(pos, end - pos)));
        pos = end + 1;
    }
    return v;
}

// The objects of one "type".
inline std::vector<Json> OfType(const std::vector<Json>& lines, const std::string& type) {
    std::vector<Json> v;
    for (const Json& j : lines)
        if (j["type"].Str() == type) v.push_back(j);
    return v;
}

} // namespace vintrel::test

#include "cli/CliArgs.h"

#include "stream/Text.h"

#include <cstdio>

namespace vintrel::cli {

CliArgs::CliArgs(int argc, char** argv, int first, const std::set<std::string>& valueOptions,
                 const std::set<std::string>& flagOptions) {
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            positional_.push_back(a);
            continue;
        }
        std::string value;
        const auto eq = a.find('=');
        bool inlineValue = false;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
            a = a.substr(0, eq);
            inlineValue = true;
        }
        if (valueOptions.count(a)) {
            if (!inlineValue) {
                if (i + 1 >= argc) {
                    error_ = a + " needs a value";
                    return;
                }
                value = argv[++i];
            }
            options_.emplace_back(a, value);
        } else if (flagOptions.count(a) && !inlineValue) {
            options_.emplace_back(a, "");
        } else {
            error_ = "unknown option " + a;
            return;
        }
    }
}

bool CliArgs::Has(const std::string& option) const {
    for (const auto& [k, v] : options_)
        if (k == option) return true;
    return false;
}

std::optional<std::string> CliArgs::Value(const std::string& option) const {
    std::optional<std::string> out;
    for (const auto& [k, v] : options_)
        if (k == option) out = v; // the last one counts
    return out;
}

std::optional<long long> CliArgs::Integer(const std::string& option, long long lo, long long hi) {
    const auto text = Value(option);
    if (!text) return std::nullopt;
    const std::optional<long long> v = ParseDecimal<long long>(*text);
    if (!v || *v < lo || *v > hi) {
        if (error_.empty())
            error_ = option + " needs a whole number from " + std::to_string(lo) + " to " +
                     std::to_string(hi) + ", not \"" + *text + "\"";
        return std::nullopt;
    }
    return *v;
}

std::optional<double> CliArgs::Real(const std::string& option, double lo, double hi) {
    const auto text = Value(option);
    if (!text) return std::nullopt;
    const std::optional<double> v = ParseReal(*text);
    if (!v || *v < lo || *v > hi) {
        if (error_.empty()) {
            char range[64];
            std::snprintf(range, sizeof range, "%g to %g", lo, hi);
            error_ = option + " needs a number from " + range + ", not \"" + *text + "\"";
        }
        return std::nullopt;
    }
    return v;
}

} // namespace vintrel::cli

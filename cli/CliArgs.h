#pragma once
// A small command-line reader: positional arguments and --options with or without values.
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vintrel::cli {

class CliArgs {
public:
    // valueOptions take the next argument as their value; flagOptions stand alone.
    CliArgs(int argc, char** argv, int first, const std::set<std::string>& valueOptions,
            const std::set<std::string>& flagOptions);

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::vector<std::string>& Positional() const { return positional_; }
    bool Has(const std::string& option) const;
    std::optional<std::string> Value(const std::string& option) const;

    // A numeric option's value, or nullopt when it is absent. A text that is not wholly a number
    // in [lo, hi] ("5s", "2x", "abc", "") leaves nullopt and an Error() that names the option.
    std::optional<long long> Integer(const std::string& option, long long lo, long long hi);
    std::optional<double> Real(const std::string& option, double lo, double hi);

private:
    std::vector<std::string> positional_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::string error_;
};

} // namespace vintrel::cli

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

private:
    std::vector<std::string> positional_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::string error_;
};

} // namespace vintrel::cli

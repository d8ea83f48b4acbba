#pragma once
// The command line of vintrel-sim.
#include <optional>
#include <string>
#include <vector>

#include "sim/StreamGenerator.h"

namespace vintrel::sim {

struct SimOptions {
    StreamConfig stream;
    std::optional<double> seconds; // none: endless (with --output: kDefaultFileSeconds)
    std::string output;            // empty: standard output
    bool help = false;
};

constexpr double kDefaultFileSeconds = 10.0;

struct SimOptionsResult {
    SimOptions options;
    std::string error; // non-empty: a usage error (exit code 2), text for standard error
    bool Ok() const { return error.empty(); }
};

// `args` without the program name. Options take their value as the next argument or after "=".
SimOptionsResult ParseSimOptions(const std::vector<std::string>& args);

// The --help text.
std::string SimUsage();

// How long the stream runs: the --seconds value, the file default, or none for endless.
std::optional<double> EffectiveSeconds(const SimOptions& options);

} // namespace vintrel::sim

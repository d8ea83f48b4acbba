#pragma once
// The command line of vintrel-sim.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/StreamGenerator.h"

namespace vintrel::sim {

// Where the stream goes.
enum class OutputKind {
    Listen, // a TCP listener serving one client after another (the default)
    Pty,    // a pseudo-terminal, like a target on a serial line
    File,   // a file, or standard output for "-", written as fast as possible
};

struct ListenAddress {
    std::string host = "127.0.0.1"; // without the brackets of an IPv6 literal
    uint16_t port = 9090;           // 0: any free port
};

struct SimOptions {
    StreamConfig stream;
    std::optional<double> seconds; // none: endless (with --output FILE: kDefaultFileSeconds)
    OutputKind outputKind = OutputKind::Listen;
    std::string output; // OutputKind::File: the file name, "-" for standard output
    ListenAddress listen;
    bool paced = true; // false: --as-fast-as-possible
    bool once = false;
    std::optional<double> dropAfter; // --drop-connection-after
    bool dropMidFrame = false;       // --drop-mid-frame
    std::string logPath;             // --log: what was sent, connection by connection (SimLog)
    bool help = false;
    bool version = false; // --version: print "vintrel-sim VERSION" and exit
};

constexpr double kDefaultFileSeconds = 10.0;

struct SimOptionsResult {
    SimOptions options;
    std::string error; // non-empty: a usage error (exit code 2), text for standard error
    bool Ok() const { return error.empty(); }
};

// `args` without the program name. Options take their value as the next argument or after "=".
SimOptionsResult ParseSimOptions(const std::vector<std::string>& args);

// "HOST:PORT", "[IPv6]:PORT"; PORT 0..65535.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

// The --help text.
std::string SimUsage();

// How long each stream runs: the --seconds value, the file default, or none for endless.
std::optional<double> EffectiveSeconds(const SimOptions& options);

} // namespace vintrel::sim

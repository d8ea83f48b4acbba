#pragma once
// The link options shared by the commands that connect: --connect HOST:PORT, --serial DEV
// [--baud R], --ftdi N.
#include "app/ConnectSettings.h"
#include "cli/CliArgs.h"

#include <string>

namespace vintrel {
class Engine;
}

namespace vintrel::cli {

// The stream options (--format, --big-endian, --no-checksum) and the check that at most one
// link option is given; an empty text when fine, else the usage error.
std::string StreamSettings(const CliArgs& args, ConnectSettings& cs);

// Fills the link part of `cs` (loading and listing FTDI adapters for --ftdi). Returns an empty
// text when the options are fine; otherwise the reason, with exitCode 2 for a usage error (a
// --baud or --ftdi that is no whole number, naming the option) and 3 when the link cannot be
// had (naming the library file and the loader's reason).
std::string LinkSettings(CliArgs& args, Engine& engine, ConnectSettings& cs, int& exitCode);

} // namespace vintrel::cli

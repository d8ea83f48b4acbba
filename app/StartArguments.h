#pragma once
// The window program's command line. The options --help, --version, --config FILE and
// --browse WILDCARD come first; then the first other argument keeps its old meaning: one
// containing "Backup.bkf" is a normal start, one containing "-d" a start with the debug dump
// ("-dbe" also marks big-endian chunks), anything else the file-browsing copy on that wildcard.
#include <string>
#include <vector>

namespace vintrel {

struct StartArguments {
    enum class Action {
        Main,    // the main window
        Browse,  // the browsing copy: the "Open recorded files" dialog on browseWildcard
        Help,    // print StartUsage() and exit 0
        Version, // print "vintrel VERSION" and exit 0
        Error,   // print error and StartUsage() to standard error and exit 2
    };
    Action action = Action::Main;
    std::string configFile; // --config; empty: the default configuration file
    std::string browseWildcard;
    bool dump = false;          // DUMP2FILE
    bool markBigEndian = false; // MARK_BE
    std::string error;
};

// `args` without the program name. An option's value is the next argument or follows "=".
StartArguments ParseStartArguments(const std::vector<std::string>& args);

// The --help text.
std::string StartUsage();

} // namespace vintrel

// vintrel-cli: the receiver without windows.
#include "app/Version.h"
#include "cli/DelayCommand.h"
#include "cli/ExportCommand.h"
#include "cli/InspectCommand.h"
#include "cli/MetricsCommand.h"
#include "cli/MonitorCommand.h"
#include "cli/ParseCommand.h"
#include "cli/PortsCommand.h"
#include "cli/RecordCommand.h"
#include "cli/SnapshotCommand.h"

#include <cstdio>
#include <cstring>

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**, int);
    const char* what;
};

const Command kCommands[] = {
    {"inspect", vintrel::cli::RunInspect,
     "replay a captured stream through the receiver, one line per frame"},
    {"monitor", vintrel::cli::RunMonitor, "connect to a target and count its frames live"},
    {"record", vintrel::cli::RunRecord, "connect, record for a time and split the record into WAV files"},
    {"parse", vintrel::cli::RunParse, "parse a saved raw record into WAV files"},
    {"delay", vintrel::cli::RunDelay, "estimate the RXout to TX1in delay of a raw record"},
    {"snapshot", vintrel::cli::RunSnapshot, "draw the charts of a raw record into a PNG file"},
    {"export", vintrel::cli::RunExport, "write the per-frame values of a raw record as CSV"},
    {"ports", vintrel::cli::RunPorts, "list the serial ports and FTDI devices without opening them"},
    {"metrics", vintrel::cli::RunMetrics, "the echo canceller's ERL, ERLE and double talk of a raw record"},
};

void Usage(std::FILE* to) {
    std::fputs("usage: vintrel-cli COMMAND [ARGS]\n       vintrel-cli --help | --version\ncommands:\n", to);
    for (const Command& c : kCommands) std::fprintf(to, "  %-9s %s\n", c.name, c.what);
    std::fputs("options:\n"
               "  --help    show this text\n"
               "  --version print the version\n"
               "Run 'vintrel-cli COMMAND --help' for the options of a command.\n",
               to);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        Usage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("vintrel-cli %s\n", vintrel::ProjectVersion());
        return 0;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc, argv, 2);
    std::fprintf(stderr, "vintrel-cli: unknown command \"%s\"\n", argv[1]);
    Usage(stderr);
    return 2;
}

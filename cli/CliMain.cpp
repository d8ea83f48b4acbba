// vintrel-cli: the receiver without windows.
#include "cli/InspectCommand.h"
#include "cli/MonitorCommand.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kUsage = "usage: vintrel-cli COMMAND [ARGS]\n"
                               "commands:\n"
                               "  inspect FILE   replay a captured stream through the receiver, one line per frame\n"
                               "  monitor        connect to a target and count its frames live\n"
                               "Run 'vintrel-cli COMMAND --help' for the options of a command.\n";
}

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "inspect")) return vintrel::cli::RunInspect(argc, argv, 2);
    if (!std::strcmp(argv[1], "monitor")) return vintrel::cli::RunMonitor(argc, argv, 2);
    std::fprintf(stderr, "vintrel-cli: unknown command \"%s\"\n%s", argv[1], kUsage);
    return 2;
}

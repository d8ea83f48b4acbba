#include "cli/SnapshotCommand.h"

#include <cstdio>

namespace vintrel::cli {

int RunSnapshot(int, char**, int) {
    std::fputs("vintrel-cli snapshot: not available in this build\n", stderr);
    return 2;
}

} // namespace vintrel::cli

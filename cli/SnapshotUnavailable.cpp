// vintrel-cli built without the charts (VINTREL_GUI=OFF): snapshot, the one verb that draws,
// only says that it is not part of this build.
#include "cli/SnapshotCommand.h"

#include "cli/ExitStatus.h"

#include <cstdio>

namespace vintrel::cli {

int RunSnapshot(int, char**, int) {
    std::fputs("vintrel-cli snapshot: not available in this build (built without Qt, VINTREL_GUI=OFF); "
               "the other verbs work as usual\n",
               stderr);
    return kExitUsage;
}

} // namespace vintrel::cli

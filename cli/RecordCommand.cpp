#include "cli/RecordCommand.h"

#include <cstdio>

namespace vintrel::cli {

int RunRecord(int, char**, int) {
    std::fputs("vintrel-cli record: not available in this build\n", stderr);
    return 2;
}

} // namespace vintrel::cli

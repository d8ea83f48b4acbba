#include "cli/DelayCommand.h"

#include <cstdio>

namespace vintrel::cli {

int RunDelay(int, char**, int) {
    std::fputs("vintrel-cli delay: not available in this build\n", stderr);
    return 2;
}

} // namespace vintrel::cli

#include "cli/ParseCommand.h"

#include <cstdio>

namespace vintrel::cli {

int RunParse(int, char**, int) {
    std::fputs("vintrel-cli parse: not available in this build\n", stderr);
    return 2;
}

} // namespace vintrel::cli

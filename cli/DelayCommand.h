#pragma once

namespace vintrel::cli {

// vintrel-cli delay ... (see --help)
int RunDelay(int argc, char** argv, int first);

} // namespace vintrel::cli

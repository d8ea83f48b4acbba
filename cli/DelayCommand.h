#pragma once

namespace vintrel::cli {

// vintrel-cli delay FILE [--format F] [--max-delay 1000|2000|4000] [--big-endian]
int RunDelay(int argc, char** argv, int first);

} // namespace vintrel::cli

#pragma once

namespace vintrel::cli {

// vintrel-cli metrics FILE [--format F] [--big-endian] [--vad-threshold X] [--json]
int RunMetrics(int argc, char** argv, int first);

} // namespace vintrel::cli

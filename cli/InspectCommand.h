#pragma once

namespace vintrel::cli {

// vintrel-cli inspect FILE [--format F] [--big-endian] [--no-checksum] [--json] [--summary]
int RunInspect(int argc, char** argv, int first);

} // namespace vintrel::cli

#pragma once

namespace vintrel::cli {

// vintrel-cli ports [--json]
int RunPorts(int argc, char** argv, int first);

} // namespace vintrel::cli

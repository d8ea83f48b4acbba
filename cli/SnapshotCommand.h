#pragma once

namespace vintrel::cli {

// vintrel-cli snapshot ... (see --help)
int RunSnapshot(int argc, char** argv, int first);

} // namespace vintrel::cli

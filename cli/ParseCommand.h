#pragma once

namespace vintrel::cli {

// vintrel-cli parse ... (see --help)
int RunParse(int argc, char** argv, int first);

} // namespace vintrel::cli

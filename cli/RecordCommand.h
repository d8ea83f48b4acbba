#pragma once

namespace vintrel::cli {

// vintrel-cli record ... (see --help)
int RunRecord(int argc, char** argv, int first);

} // namespace vintrel::cli

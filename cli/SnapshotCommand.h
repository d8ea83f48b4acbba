#pragma once

namespace vintrel::cli {

// vintrel-cli snapshot FILE --png OUT.png ... (see --help)
int RunSnapshot(int argc, char** argv, int first);

} // namespace vintrel::cli

#pragma once

namespace vintrel::cli {

// vintrel-cli export FILE --csv OUT ... (see --help)
int RunExport(int argc, char** argv, int first);

} // namespace vintrel::cli

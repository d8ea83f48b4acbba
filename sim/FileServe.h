#pragma once
// vintrel-sim --output: the stream into a file or standard output, as fast as possible.
#include "sim/SimOptions.h"

namespace vintrel::sim {

// Returns the exit status.
int ServeFile(const SimOptions& options);

} // namespace vintrel::sim

#pragma once
// vintrel-sim --listen: a TCP listener that serves the stream to one client after another.
//
// Each client normally gets a fresh stream: the generator starts again with the same seed and
// start counter, so every client receives the same bytes (the ones GenerateStream makes for the
// config). With --drop-connection-after the target instead keeps one stream going across its
// clients: each connection is reset after the given stretch of stream, and the next client
// continues from the frame after the last one generated, frame counter included.
#include "sim/SimOptions.h"

namespace vintrel::sim {

// Returns the exit status.
int ServeTcp(const SimOptions& options);

} // namespace vintrel::sim

#pragma once
// vintrel-sim --pty: the stream on a pseudo-terminal, the way a target on a serial line sends it.
//
// The slave side is put in raw mode (no echo, no line editing, no character translation) so the
// receiver gets the bytes untouched, and vintrel-sim keeps a descriptor of the slave open itself:
// the master then never sees a hang-up while no receiver has the slave open, and the settings
// stay in place between receivers. While nobody reads, the terminal's buffer fills and the stream
// waits (the pacing restarts its schedule after a long wait instead of sending the backlog in a
// burst). At the end of a limited stream the master stays open until the receiver has read what
// is buffered (at most kDrainLimit), because closing it discards unread data.
#include "sim/SimOptions.h"

namespace vintrel::sim {

// Returns the exit status.
int ServePty(const SimOptions& options);

} // namespace vintrel::sim

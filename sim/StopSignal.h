#pragma once
// SIGINT and SIGTERM ask vintrel-sim to finish: the handlers only raise a flag, which every wait
// of the serving loops looks at (their waits are short or interrupted by the signal). SIGPIPE is
// ignored so that a receiver going away shows as a write error (EPIPE) instead of ending the run.
namespace vintrel::sim {

void InstallStopHandlers();
bool StopRequested();

} // namespace vintrel::sim

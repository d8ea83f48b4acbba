#pragma once
// SIGINT and SIGTERM ask the running program (vintrel-sim, a vintrel-cli verb) to finish: the
// handlers only raise a flag, which the program's loops look at. SIGPIPE is ignored so that a
// receiver going away shows as a write error (EPIPE) instead of ending the run.
// Threads: the handlers are installed once, before the threads start; any thread may ask.
namespace vintrel {

// What a blocking call does when the stop signal lands in it.
enum class InterruptedCalls {
    Fail,    // it returns EINTR, so a loop waiting in it sees the flag at once
    Restart, // it goes on: the threads keep their reads, and a loop that asks often sees the flag
};

void InstallStopHandlers(InterruptedCalls calls);
bool StopRequested();

} // namespace vintrel

#pragma once

namespace vintrel::cli {

// vintrel-cli monitor [--connect HOST:PORT | --serial DEV [--baud R] | --ftdi N] [--format F]
//   [--big-endian] [--no-checksum] [--seconds S] [--forward HOST:PORT] [--autoreconnect N]
int RunMonitor(int argc, char** argv, int first);

} // namespace vintrel::cli

#include "cli/LinkOptions.h"

#include "app/Engine.h"
#include "cli/ExitStatus.h"

#include <cstdint>
#include <limits>

namespace vintrel::cli {

std::string StreamSettings(const CliArgs& args, ConnectSettings& cs) {
    if (int(args.Has("--connect")) + int(args.Has("--serial")) + int(args.Has("--ftdi")) > 1)
        return "give one of --connect, --serial, --ftdi";
    if (auto f = args.Value("--format")) {
        auto parsed = ParseFormatName(*f);
        if (!parsed) return "unknown format \"" + *f + "\"; valid formats: " + ValidFormatList();
        cs.Format = *parsed;
    }
    cs.BigEndian = args.Has("--big-endian");
    cs.VerifyChecksum = !args.Has("--no-checksum");
    return "";
}

std::string LinkSettings(CliArgs& args, Engine& engine, ConnectSettings& cs, int& exitCode) {
    exitCode = kExitUsage;
    // Numbers are checked before anything is loaded or opened.
    const auto baud = args.Integer("--baud", 1, std::numeric_limits<int32_t>::max());
    const auto adapter = args.Integer("--ftdi", 1, std::numeric_limits<int32_t>::max());
    if (!args.Ok()) return args.Error();
    if (args.Has("--serial")) {
        cs.TransportButton = ConnectSettings::Link::Usb;
        cs.PortItem = *args.Value("--serial");
        cs.PortIndex = 1;
        cs.RateText = std::to_string(baud.value_or(115200));
    } else if (adapter) {
        cs.TransportButton = ConnectSettings::Link::Usb;
        cs.FtdiPortsOnly = true;
        cs.RateText = std::to_string(baud.value_or(12000000));
        engine.FtdiLib().Loading();
        exitCode = kExitOpenFailed;
        if (!engine.FtdiLib().FTDIdriverFound)
            return "the FTDI D2XX library could not be loaded: " + engine.FtdiLib().LoadFailure();
        engine.FTDICheckBoxClick(true);
        cs.PortIndex = int(*adapter);
        if (cs.PortIndex >= int(engine.Ports().Items.size()))
            return "no FTDI adapter " + std::to_string(*adapter) + " (" +
                   std::to_string(engine.Ports().Items.size() - 1) + " found)";
    } else {
        cs.IPAddrPort = args.Value("--connect").value_or("127.0.0.1:9090");
    }
    return "";
}

} // namespace vintrel::cli

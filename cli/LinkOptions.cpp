#include "cli/LinkOptions.h"

#include "app/Engine.h"

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

std::string LinkSettings(const CliArgs& args, Engine& engine, ConnectSettings& cs, int& exitCode) {
    exitCode = 2;
    if (auto c = args.Value("--serial")) {
        cs.TransportButton = ConnectSettings::Link::Usb;
        cs.PortItem = *c;
        cs.PortIndex = 1;
        cs.RateText = args.Value("--baud").value_or("115200");
    } else if (auto n = args.Value("--ftdi")) {
        cs.TransportButton = ConnectSettings::Link::Usb;
        cs.FtdiPortsOnly = true;
        cs.RateText = args.Value("--baud").value_or("12000000");
        engine.FtdiLib().Loading();
        exitCode = 3;
        if (!engine.FtdiLib().FTDIdriverFound) return "the FTDI D2XX library could not be loaded";
        EnumerateFtdi(engine.FtdiLib(), engine.PortList, engine.FtdiList, 0);
        try {
            cs.PortIndex = std::stoi(*n);
        } catch (...) {
            exitCode = 2;
            return "--ftdi needs an adapter number";
        }
        if (cs.PortIndex < 1 || cs.PortIndex >= int(engine.PortList.Items.size()))
            return "no FTDI adapter " + *n + " (" + std::to_string(engine.PortList.Items.size() - 1) +
                   " found)";
    } else {
        cs.IPAddrPort = args.Value("--connect").value_or("127.0.0.1:9090");
    }
    return "";
}

} // namespace vintrel::cli

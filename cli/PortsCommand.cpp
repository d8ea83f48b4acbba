#include "cli/PortsCommand.h"

#include "cli/CliArgs.h"
#include "cli/ExitStatus.h"
#include "cli/JsonLines.h"
#include "connection/FtdiDevices.h"
#include "connection/SerialPorts.h"

#include <cstdio>
#include <string>

namespace vintrel::cli {

namespace {

constexpr const char* kUsage =
    "usage: vintrel-cli ports [--json]\n"
    "Lists the serial ports the settings dialog offers, without opening any of them (a port that\n"
    "another program holds is listed too), and every device the FTDI D2XX library reports with its\n"
    "index, description and serial number. Without the library (libftd2xx.so, or the file named by\n"
    "VINTREL_FTD2XX) the file tried and the loader's message are given as a warning.\n"
    "--json writes JSON Lines on standard output instead (the text goes to standard error): a\n"
    "\"serial_port\" object per port, an \"ftdi_device\" object per device, \"warning\" objects and\n"
    "one \"summary\" at the end.\n";

int Usage(const std::string& why) {
    std::fprintf(stderr, "vintrel-cli ports: %s\n", why.c_str());
    PrintHelp(stderr, kUsage);
    return kExitUsage;
}

void Warn(JsonReport& report, const std::string& text) {
    std::fprintf(stderr, "vintrel-cli ports: warning: %s\n", text.c_str());
    report.Warning(text);
}

} // namespace

int RunPorts(int argc, char** argv, int first) {
    CliArgs args(argc, argv, first, {}, {"--json", "--help"});
    if (args.Has("--help")) {
        PrintHelp(stdout, kUsage);
        return kExitSuccess;
    }
    if (!args.Ok()) return Usage(args.Error());
    if (!args.Positional().empty()) return Usage("unexpected argument \"" + args.Positional().front() + "\"");
    JsonReport report(args.Has("--json"));
    std::FILE* out = report.Text();

    const std::vector<SerialDevice> serial = ListSerialDevices();
    std::fprintf(out, "Serial ports: %zu\n", serial.size());
    for (const SerialDevice& d : serial) {
        std::fprintf(out, "  %s\n", d.Path.c_str());
        report.Write(Typed("serial_port").Add("path", d.Path).Add("name", d.Name).Add("number", d.Number));
    }

    Ftdi ftdi;
    const bool loaded = ftdi.Loading();
    FtdiDeviceList ftdiDevices;
    if (loaded) {
        ftdiDevices = ListFtdiDevices(ftdi);
        std::fprintf(out, "FTDI devices (%s): %zu\n", ftdi.LibraryTried.c_str(), ftdiDevices.Devices.size());
        for (const FtdiDevice& d : ftdiDevices.Devices) {
            std::fprintf(out, "  %u  %-24s  serial %s\n", d.Index, d.Description.c_str(),
                         d.SerialNumber.c_str());
            report.Write(Typed("ftdi_device")
                             .Add("index", d.Index)
                             .Add("description", d.Description)
                             .Add("serial_number", d.SerialNumber));
        }
        if (!ftdiDevices.Failure.empty()) Warn(report, "FTDI devices: " + ftdiDevices.Failure);
    } else {
        std::fprintf(out, "FTDI devices: none, the D2XX library is not loaded\n");
        Warn(report, "FTDI D2XX library not loaded: " + ftdi.LoadFailure());
    }

    JsonObject summary = Typed("summary");
    summary.Add("serial_ports", serial.size())
        .Add("ftdi_devices", ftdiDevices.Devices.size())
        .Add("ftdi_library", ftdi.LibraryTried)
        .Add("ftdi_library_loaded", loaded);
    if (loaded)
        summary.Null("ftdi_library_error");
    else
        summary.Add("ftdi_library_error", ftdi.LoadFailure());
    return report.Summary(summary, kExitSuccess);
}

} // namespace vintrel::cli

// Runs the real vintrel-cli ports with the fake D2XX library, and without any.
#include "connection/SerialPorts.h"
#include "support/CliRunner.h"
#include "support/JsonValue.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace vintrel {
using test::Json;
using test::RunCli;
namespace {

std::vector<Json> Objects(const std::string& out, const std::string& type) {
    std::vector<Json> found;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const Json j = Json::Parse(line);
        if (j["type"].Str() == type) found.push_back(j);
    }
    return found;
}

} // namespace

TEST(PortsCli, ListsTheFakeLibrarysAdaptersAndTheDialogsSerialPorts) {
    const std::string env = std::string("VINTREL_FTD2XX=") + FAKE_FTD2XX_PATH +
                            " FAKE_FTD2XX_DEVICES='FT2232H MiniModule A:7;FT2232H MiniModule B:8:busy'"
                            " FAKE_FTD2XX_SERIALS='FT5X9KQA;FT5X9KQB'";
    const auto r = RunCli("ports --json", env, true);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto adapters = Objects(r.out, "ftdi_device");
    ASSERT_EQ(adapters.size(), 2u) << r.out;
    EXPECT_EQ(adapters[0]["index"].Num(), 0);
    EXPECT_EQ(adapters[0]["description"].Str(), "FT2232H MiniModule A");
    EXPECT_EQ(adapters[0]["serial_number"].Str(), "FT5X9KQA");
    EXPECT_EQ(adapters[1]["serial_number"].Str(), "FT5X9KQB"); // a busy adapter is listed too

    // The serial ports are this machine's, listed by the function the settings dialog lists with.
    std::vector<std::string> expected, listed;
    for (const SerialDevice& d : ListSerialDevices()) expected.push_back(d.Path);
    for (const Json& p : Objects(r.out, "serial_port")) listed.push_back(p["path"].Str());
    EXPECT_EQ(listed, expected);

    const auto summary = Objects(r.out, "summary");
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(summary[0]["ftdi_devices"].Num(), 2);
    EXPECT_EQ(summary[0]["serial_ports"].Num(), double(expected.size()));
    EXPECT_TRUE(summary[0]["ftdi_library_loaded"].Bool());
    EXPECT_EQ(summary[0]["ftdi_library"].Str(), FAKE_FTD2XX_PATH);

    const auto text = RunCli("ports", env);
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("FTDI devices (" + std::string(FAKE_FTD2XX_PATH) + "): 2\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("FT2232H MiniModule B"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("serial FT5X9KQB"), std::string::npos) << text.out;
}

TEST(PortsCli, AbsentLibraryNamesTheFileTriedAndTheLoadersMessage) {
    const std::string missing = "/nonexistent/vintrel/libftd2xx.so";
    const auto r = RunCli("ports --json", "VINTREL_FTD2XX=" + missing, true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    const auto summary = Objects(r.out, "summary");
    ASSERT_EQ(summary.size(), 1u) << r.out;
    EXPECT_FALSE(summary[0]["ftdi_library_loaded"].Bool());
    EXPECT_EQ(summary[0]["ftdi_library"].Str(), missing);
    EXPECT_EQ(summary[0]["ftdi_library_error"].Str(),
              missing + ": cannot open shared object file: No such file or directory");
    EXPECT_EQ(Objects(r.out, "warning").size(), 1u);

    const auto text = RunCli("ports", "VINTREL_FTD2XX=" + missing);
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("vintrel-cli ports: warning: FTDI D2XX library not loaded: " + missing +
                            ": cannot open shared object file"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(RunCli("ports extra").exitCode, 2);
}

} // namespace vintrel

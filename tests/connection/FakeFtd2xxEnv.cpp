#include "FakeFtd2xxEnv.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vintrel::test {

namespace {
constexpr const char* kVars[] = {"FAKE_FTD2XX_DEVICES", "FAKE_FTD2XX_SOURCE", "FAKE_FTD2XX_SERIALS",
                                 "FAKE_FTD2XX_CHUNK",   "FAKE_FTD2XX_FAIL",   "FAKE_FTD2XX_LOG",
                                 "VINTREL_FTD2XX"};
}

void FakeFtd2xxTest::SetUp() {
    for (const char* v : kVars) unsetenv(v);
    std::string pattern = (std::filesystem::temp_directory_path() / "vintrel-ftdi-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("FAKE_FTD2XX_LOG", TempPath("calls.log").c_str(), 1);
    ASSERT_TRUE(fake_.Loading(FAKE_FTD2XX_PATH)) << fake_.LoadError;
}

void FakeFtd2xxTest::TearDown() {
    for (const char* v : kVars) unsetenv(v);
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

void FakeFtd2xxTest::SetDevices(const std::string& devices) {
    setenv("FAKE_FTD2XX_DEVICES", devices.c_str(), 1);
}
void FakeFtd2xxTest::SetSerials(const std::string& serials) {
    setenv("FAKE_FTD2XX_SERIALS", serials.c_str(), 1);
}
void FakeFtd2xxTest::SetSource(const std::string& path) {
    setenv("FAKE_FTD2XX_SOURCE", path.c_str(), 1);
}
void FakeFtd2xxTest::SetChunk(unsigned bytes) {
    setenv("FAKE_FTD2XX_CHUNK", std::to_string(bytes).c_str(), 1);
}
void FakeFtd2xxTest::SetFail(const std::string& calls) {
    setenv("FAKE_FTD2XX_FAIL", calls.c_str(), 1);
}

std::vector<std::string> FakeFtd2xxTest::LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in(TempPath("calls.log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void FakeFtd2xxTest::ClearLog() const {
    std::filesystem::remove(TempPath("calls.log"));
}

} // namespace vintrel::test

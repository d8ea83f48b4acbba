#pragma once
// Test fixture around the fake D2XX library: sets its environment for one test, gives each
// test a scratch folder and a call log, and clears everything afterwards.
#include "connection/Ftdi.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vintrel::test {

class FakeFtd2xxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // "description:com[:busy];..." in device index order.
    void SetDevices(const std::string& devices);
    // "serial;..." in device index order.
    void SetSerials(const std::string& serials);
    void SetSource(const std::string& path);
    void SetChunk(unsigned bytes);
    void SetFail(const std::string& calls);

    std::string TempPath(const std::string& name) const { return dir_ + "/" + name; }
    std::vector<std::string> LogLines() const;
    void ClearLog() const;

    Ftdi fake_; // loaded from the full fake library in SetUp

private:
    std::string dir_;
};

} // namespace vintrel::test

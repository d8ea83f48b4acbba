// The FTDI port list and the adapter set-up, against the fake D2XX library.
#include "connection/FtdiPorts.h"
#include "FakeFtd2xxEnv.h"
#include "connection/FtdiDevices.h"

#include <algorithm>
#include <gmock/gmock.h>

namespace vintrel::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

class FtdiPortsTest : public FakeFtd2xxTest {
protected:
    bool Enumerate(uint32_t comPortNum) { return EnumerateFtdi(fake_, list_, pairs_, comPortNum); }

    long Count(const std::string& prefix) const {
        const auto lines = LogLines();
        return std::count_if(lines.begin(), lines.end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }

    PortListModel list_;
    TFtdiList pairs_{};
    FT_HANDLE handle_ = nullptr;
};

TEST_F(FtdiPortsTest, ListsMiniModuleChannelsAndPreselectsTheLastComPort) {
    SetDevices("FT2232H MiniModule A:7;FT2232H MiniModule B:8;Other device:9");
    EXPECT_TRUE(Enumerate(8));
    EXPECT_THAT(list_.Items, ElementsAre(" None", " COM7", " COM8"));
    EXPECT_EQ(list_.Selected, 2);
    EXPECT_EQ(pairs_[0].DeviceIndex, 0);
    EXPECT_EQ(pairs_[0].ComPort, 7);
    EXPECT_EQ(pairs_[1].DeviceIndex, 1);
    EXPECT_EQ(pairs_[1].ComPort, 8);
    EXPECT_EQ(pairs_[2].ComPort, 0);

    // Descriptions were asked for all devices; the non-matching one was never opened and
    // every opened adapter was closed again.
    EXPECT_THAT(LogLines(), Contains("FT_ListDevices 0x20000002"));
    EXPECT_THAT(LogLines(), Not(Contains("FT_Open 2")));
    EXPECT_EQ(Count("FT_Open "), 2);
    EXPECT_EQ(Count("FT_Close "), 2);
}

TEST_F(FtdiPortsTest, DeviceListingGivesEveryDeviceWithItsSerialNumberAndOpensNone) {
    SetDevices("FT2232H MiniModule A:7;FT2232H MiniModule B:8:busy;Other device:9");
    SetSerials("FTA1B2C3A;FTA1B2C3B");
    const FtdiDeviceList listed = ListFtdiDevices(fake_);
    EXPECT_EQ(listed.Failure, "");
    ASSERT_EQ(listed.Devices.size(), 3u);
    EXPECT_EQ(listed.Devices[1].Index, 1u);
    EXPECT_EQ(listed.Devices[1].Description, "FT2232H MiniModule B");
    EXPECT_EQ(listed.Devices[1].SerialNumber, "FTA1B2C3B");
    EXPECT_EQ(listed.Devices[2].Description, "Other device");
    EXPECT_EQ(listed.Devices[2].SerialNumber, ""); // the library gave none
    EXPECT_THAT(LogLines(), Contains("FT_ListDevices 0x20000001"));
    EXPECT_EQ(Count("FT_Open "), 0);

    SetFail("FT_CreateDeviceInfoList");
    const FtdiDeviceList failed = ListFtdiDevices(fake_);
    EXPECT_THAT(failed.Devices, IsEmpty());
    EXPECT_EQ(failed.Failure, "FT_CreateDeviceInfoList returned FT_IO_ERROR (4)");
}

TEST_F(FtdiPortsTest, SelectsTheFirstAdapterWhenTheLastComPortIsGone) {
    SetDevices("Other device:3;FT2232H MiniModule A:12;FT2232H MiniModule B:4");
    EXPECT_TRUE(Enumerate(3)); // COM3 belongs to a device that is not listed
    EXPECT_THAT(list_.Items, ElementsAre(" None", " COM12", " COM4"));
    EXPECT_EQ(list_.Selected, 1);
    EXPECT_EQ(pairs_[0].DeviceIndex, 1);
    EXPECT_EQ(pairs_[1].DeviceIndex, 2);
}

TEST_F(FtdiPortsTest, NothingListedLeavesNoneSelectedAndClearsOldPairs) {
    pairs_[0] = {5, 9};
    list_.Items = {" None", " COM9"};
    EXPECT_FALSE(Enumerate(9));
    EXPECT_THAT(list_.Items, ElementsAre(" None"));
    EXPECT_EQ(list_.Selected, 0);
    EXPECT_EQ(pairs_[0].ComPort, 0);

    SetDevices("Other device:9;FT232R USB UART:10");
    EXPECT_FALSE(Enumerate(9));
    EXPECT_THAT(list_.Items, ElementsAre(" None"));
}

TEST_F(FtdiPortsTest, AdapterThatDoesNotOpenIsSkipped) {
    SetDevices("FT2232H MiniModule A:7:busy;FT2232H MiniModule B:8");
    EXPECT_TRUE(Enumerate(7));
    EXPECT_THAT(list_.Items, ElementsAre(" None", " COM8"));
    EXPECT_EQ(list_.Selected, 1);
    EXPECT_EQ(pairs_[0].DeviceIndex, 1);
}

TEST_F(FtdiPortsTest, TenthAdapterIsNotListed) {
    std::string devices;
    for (int com = 11; com <= 20; ++com) devices += "FT2232H MiniModule:" + std::to_string(com) + ";";
    SetDevices(devices);
    EXPECT_TRUE(Enumerate(20));
    ASSERT_EQ(list_.Items.size(), 10u);
    EXPECT_EQ(list_.Items[9], " COM19");
    EXPECT_EQ(pairs_[8].DeviceIndex, 8);
    EXPECT_EQ(pairs_[8].ComPort, 19);
    EXPECT_EQ(list_.Selected, 1); // COM20 is the unlisted tenth
    EXPECT_THAT(LogLines(), Not(Contains("FT_Open 9")));
}

TEST_F(FtdiPortsTest, AdapterWithoutComNumberIsListedUnderItsIndex) {
    SetDevices("FT2232H MiniModule A:-1;Other:5;FT2232H MiniModule B:-1");
    EXPECT_TRUE(Enumerate(3));
    EXPECT_THAT(list_.Items, ElementsAre(" None", " COM1", " COM3"));
    EXPECT_EQ(list_.Selected, 2);

    Ftdi lean; // no FT_GetComPortNumber at all
    ASSERT_TRUE(lean.Loading(FAKE_FTD2XX_LEAN_PATH));
    SetDevices("FT2232H MiniModule A:7;FT2232H MiniModule B:8");
    EXPECT_TRUE(EnumerateFtdi(lean, list_, pairs_, 0));
    EXPECT_THAT(list_.Items, ElementsAre(" None", " COM1", " COM2"));
}

TEST_F(FtdiPortsTest, InitMakesTheSevenSetUpCallsInOrder) {
    SetDevices("Other:3;FT2232H MiniModule A:7;FT2232H MiniModule B:8");
    ASSERT_TRUE(Enumerate(8));
    ClearLog();
    EXPECT_EQ(FTDIinit(fake_, list_, pairs_, kDefaultFtdiRate, handle_), FT_OK);
    EXPECT_NE(handle_, nullptr);
    EXPECT_THAT(LogLines(), ElementsAre("FT_Open 2", "FT_SetBaudRate 12000000", "FT_SetFlowControl 0 0 0",
                                        "FT_SetTimeouts 20 20", "FT_SetLatencyTimer 1",
                                        "FT_SetDataCharacteristics 8 0 0", "FT_Purge 3"));

    // Opening again closes the previous handle first instead of leaking it.
    ClearLog();
    list_.Selected = 1;
    EXPECT_EQ(FTDIinit(fake_, list_, pairs_, 921600, handle_), FT_OK);
    EXPECT_THAT(LogLines(),
                ElementsAre("FT_Close 2", "FT_Open 1", "FT_SetBaudRate 921600", "FT_SetFlowControl 0 0 0",
                            "FT_SetTimeouts 20 20", "FT_SetLatencyTimer 1", "FT_SetDataCharacteristics 8 0 0",
                            "FT_Purge 3"));
    fake_.Close(handle_);
}

TEST_F(FtdiPortsTest, InitOrsTheStatusesAndClosesTheAdapterOnFailure) {
    SetDevices("FT2232H MiniModule A:7");
    ASSERT_TRUE(Enumerate(7));
    SetFail("FT_SetBaudRate=7,FT_Purge=16");
    ClearLog();
    std::string cause;
    EXPECT_EQ(FTDIinit(fake_, list_, pairs_, kDefaultFtdiRate, handle_, &cause), 7u | 16u);
    EXPECT_EQ(handle_, nullptr);
    // The first call that failed names the cause.
    EXPECT_EQ(cause, "FT_SetBaudRate(12000000) returned FT_INVALID_BAUD_RATE (7) for adapter COM7");
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 8u); // all seven calls were still made
    EXPECT_EQ(lines[6], "FT_Purge 3");
    EXPECT_EQ(lines[7], "FT_Close 0");
}

TEST_F(FtdiPortsTest, InitFailsWithoutSetUpCallsWhenNothingCanBeOpened) {
    SetDevices("FT2232H MiniModule A:7");
    ASSERT_TRUE(Enumerate(7));
    ClearLog();
    list_.Selected = 0; // " None"
    EXPECT_NE(FTDIinit(fake_, list_, pairs_, kDefaultFtdiRate, handle_), FT_OK);
    list_.Selected = -1;
    EXPECT_NE(FTDIinit(fake_, list_, pairs_, kDefaultFtdiRate, handle_), FT_OK);
    EXPECT_THAT(LogLines(), IsEmpty());

    list_.Selected = 1;
    SetFail("FT_Open=3");
    std::string cause;
    EXPECT_EQ(FTDIinit(fake_, list_, pairs_, kDefaultFtdiRate, handle_, &cause), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(cause, "FT_Open returned FT_DEVICE_NOT_OPENED (3) for adapter COM7");
    EXPECT_EQ(FtStatusName(99), "status 99");
    EXPECT_EQ(handle_, nullptr);
    EXPECT_THAT(LogLines(), ElementsAre("FT_Open 0"));
}

TEST_F(FtdiPortsTest, InitWithoutPurgeExportFailsAndClosesTheAdapter) {
    Ftdi lean;
    ASSERT_TRUE(lean.Loading(FAKE_FTD2XX_LEAN_PATH));
    SetDevices("FT2232H MiniModule A:7");
    ASSERT_TRUE(EnumerateFtdi(lean, list_, pairs_, 0));
    ClearLog();
    EXPECT_EQ(FTDIinit(lean, list_, pairs_, kDefaultFtdiRate, handle_), FT_NOT_SUPPORTED);
    EXPECT_EQ(handle_, nullptr);
    const auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "FT_Close 0");
    EXPECT_THAT(lines, Not(Contains("FT_Purge 3")));
}

} // namespace
} // namespace vintrel::test

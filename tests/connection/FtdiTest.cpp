// The D2XX binding loaded through dlopen: the fake library, a missing one, and one that lacks
// exports.
#include "connection/Ftdi.h"
#include "FakeFtd2xxEnv.h"
#include "connection/FtdiPorts.h"
#include "connection/FtdiTransport.h"

#include <gmock/gmock.h>

namespace vintrel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using FtdiBindingTest = FakeFtd2xxTest;

TEST_F(FtdiBindingTest, LoadsTheLibraryAndBindsAllFourteenExports) {
    EXPECT_TRUE(fake_.FTDIdriverFound);
    EXPECT_NE(fake_.DllModule, nullptr);
    EXPECT_THAT(fake_.MissingExports(), IsEmpty());

    // The entries reach the library: a device count comes back through FT_CreateDeviceInfoList.
    SetDevices("FT2232H MiniModule A:7;Other:9");
    uint32_t count = 0;
    EXPECT_EQ(fake_.FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 2u);

    // Loading again keeps the same module.
    void* module = fake_.DllModule;
    EXPECT_TRUE(fake_.Loading("/nonexistent/libftd2xx.so"));
    EXPECT_EQ(fake_.DllModule, module);
}

TEST_F(FtdiBindingTest, LibraryPathFollowsTheEnvironment) {
    EXPECT_EQ(Ftdi::LibraryPath(), "libftd2xx.so");
    setenv(Ftdi::kLibraryEnvVar, FAKE_FTD2XX_LEAN_PATH, 1);
    EXPECT_EQ(Ftdi::LibraryPath(), FAKE_FTD2XX_LEAN_PATH);

    Ftdi lean;
    ASSERT_TRUE(lean.Loading());
    EXPECT_FALSE(lean.MissingExports().empty()); // it loaded the lean library, not the default
}

TEST_F(FtdiBindingTest, MissingLibraryLeavesNothingCallable) {
    Ftdi none;
    EXPECT_FALSE(none.Loading("/nonexistent/libftd2xx.so"));
    EXPECT_FALSE(none.FTDIdriverFound);
    EXPECT_EQ(none.DllModule, nullptr);
    EXPECT_FALSE(none.LoadError.empty());
    // The file tried, then the loader's words.
    EXPECT_EQ(none.LoadFailure(),
              "/nonexistent/libftd2xx.so: cannot open shared object file: No such file or directory");
    EXPECT_FALSE(none.FT_Open || none.FT_Read || none.FT_Close || none.FT_Purge || none.FT_ListDevices);

    // Every path through the unloaded binding fails cleanly instead of calling null.
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1234);
    EXPECT_EQ(none.FT_Open(0, &handle), FT_NOT_SUPPORTED);
    EXPECT_EQ(handle, reinterpret_cast<FT_HANDLE>(0x1234)); // out-argument untouched

    SetDevices("FT2232H MiniModule A:7");
    PortListModel list;
    TFtdiList pairs{};
    EXPECT_FALSE(EnumerateFtdi(none, list, pairs, 7));
    EXPECT_THAT(list.Items, ElementsAre(" None"));
    EXPECT_EQ(list.Selected, 0);

    list.Items = {" None", " COM7"};
    list.Selected = 1;
    FT_HANDLE opened = nullptr;
    EXPECT_NE(FTDIinit(none, list, pairs, kDefaultFtdiRate, opened), FT_OK);
    EXPECT_EQ(opened, nullptr);

    uint8_t byte = 0xAA;
    FtdiTransport transport(none, handle);
    EXPECT_EQ(transport.Read(&byte, 1, true).Got, 0u);
    EXPECT_EQ(byte, 0xAA);
    EXPECT_THAT(LogLines(), IsEmpty()); // the fake was never reached
}

TEST_F(FtdiBindingTest, LibraryWithoutSomeExportsBindsTheRest) {
    Ftdi lean;
    ASSERT_TRUE(lean.Loading(FAKE_FTD2XX_LEAN_PATH));
    EXPECT_TRUE(lean.FTDIdriverFound);
    EXPECT_THAT(lean.MissingExports(), ElementsAre("FT_GetComPortNumber", "FT_Purge"));

    SetDevices("FT2232H MiniModule A:7");
    uint32_t count = 0;
    ASSERT_EQ(lean.FT_CreateDeviceInfoList(&count), FT_OK);
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(lean.FT_Open(0, &handle), FT_OK);
    EXPECT_EQ(lean.FT_Purge(handle, FT_PURGE_RX | FT_PURGE_TX), FT_NOT_SUPPORTED);
    lean.Close(handle);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(FtdiBindingTest, CloseSkipsAZeroHandleAndZeroesAnOpenOne) {
    SetDevices("FT2232H MiniModule A:7");
    uint32_t count = 0;
    fake_.FT_CreateDeviceInfoList(&count);
    FT_HANDLE handle = nullptr;
    fake_.Close(handle);
    ASSERT_EQ(fake_.FT_Open(0, &handle), FT_OK);
    fake_.Close(handle);
    EXPECT_EQ(handle, nullptr);
    fake_.Close(handle); // a second close does not reach the library again
    EXPECT_THAT(LogLines(), ElementsAre("FT_CreateDeviceInfoList", "FT_Open 0", "FT_Close 0"));
}

} // namespace
} // namespace vintrel::test

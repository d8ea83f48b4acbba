#include "app/ConfigFile.h"
#include "stream/QueueSink.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace vintrel {

namespace {

struct ConfigFixture : ::testing::Test {
    test::ScratchDir scratch;
    std::string path = scratch.File("VintrelV4_0.config");
    QueueSink sink;
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    AppSettings Read(const std::string& text) {
        Write(text);
        AppSettings s;
        EXPECT_TRUE(Tune(path, s, &sink));
        return s;
    }
    std::string Slurp() {
        std::ifstream f(path, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
};

} // namespace

using ConfigFile = ConfigFixture;

TEST_F(ConfigFile, OneLineChangesOneSetting) {
    const AppSettings s = Read("  UART rate, *bps* = 921600\r\n");
    EXPECT_EQ(s.UartRate, "921600");
    const AppSettings d;
    EXPECT_EQ(s.IPAddrPort, d.IPAddrPort);
    EXPECT_EQ(s.FtdiOnly, d.FtdiOnly);
    EXPECT_TRUE(s.ShowFiles); // a file older than the browse line: the dialog opens
    EXPECT_EQ(FormatOf(s), DataStreamFormat::Ksps8Ms4);
    EXPECT_EQ(sink.Status(), ""); // the reading message is cleared
}

TEST_F(ConfigFile, KeywordsAreFoundInLowerCaseAndInTableOrder) {
    AppSettings s = Read("Sampling Rate, *KSPS* = 16\r\nrate = 5\r\nFrame *ms* and *rate* = 16\r\n");
    EXPECT_EQ(s.SamplingRateFromSettings, 16000u);
    EXPECT_EQ(FormatOf(s), DataStreamFormat::Ksps16Ms16); // the line with *ms* and *rate* set the duration
    EXPECT_EQ(s.Rate, 4);
    EXPECT_EQ(sink.Status(), "Unrecognized parameter name in " + path + " file, line 2");
    EXPECT_EQ(sink.StatusKind(), StatKind::Sticky); // the port enumeration after it leaves it
}

TEST_F(ConfigFile, FormatIsMadeConsistent) {
    EXPECT_EQ(FormatOf(Read("*ksps* = 24\r\n*ms* = 2.67\r\n")), DataStreamFormat::Ksps24Ms2_67);
    EXPECT_EQ(FormatOf(Read("*ksps* = 24\r\n*ms* = 1.333\r\n")), DataStreamFormat::Ksps24Ms1_33);
    EXPECT_EQ(FormatOf(Read("*ksps* = 16\r\n*ms* = 8\r\n")), DataStreamFormat::Ksps16Ms4);
    EXPECT_EQ(FormatOf(Read("*ksps* = 8\r\n*ms* = 2\r\n")), DataStreamFormat::Ksps8Ms4);
    EXPECT_EQ(FormatOf(Read("*ksps* = 11\r\n*ms* = 16\r\n")), DataStreamFormat::Ksps8Ms4);
    // Rates far out of range (once an overflow in the conversion) give the default format too.
    for (const char* ksps : {"4099276460824344801", "-16", "9223372036854775807"}) {
        const AppSettings s = Read(std::string("*ksps* = ") + ksps + "\r\n*ms* = 16\r\n");
        EXPECT_EQ(s.SamplingRateFromSettings, 8000u) << ksps;
        EXPECT_EQ(FormatOf(s), DataStreamFormat::Ksps8Ms4) << ksps;
    }
}

TEST_F(ConfigFile, ValuesAsTheControlsTakeThem) {
    AppSettings s =
        Read("*transport* = usb/ftdi\r\n*comport* = COM12\r\n*rate* = 9\r\n*voice* = 0.35\r\n"
             "*noise/voice* = both\r\n*fft_length* = 1024\r\n*stereo* = TX1inTX2in\r\n*lock* = y\r\n"
             "*Browse* recorded files = NO\r\n");
    EXPECT_EQ(s.TransportKind, AppSettings::Transport::TcpIp); // only the exact "USB/FTDI" selects USB
    EXPECT_EQ(s.ComPortNum, 12u);
    EXPECT_EQ(s.Rate, 7);
    EXPECT_EQ(s.VoiceThrItem, 7);
    EXPECT_TRUE(s.PaintVoice && s.PlotNoise);
    EXPECT_EQ(s.FftLength, 1024);
    EXPECT_EQ(s.StereoMode, AppSettings::Stereo::TX1inTX2in);
    EXPECT_TRUE(s.Lock);
    EXPECT_FALSE(s.ShowFiles);

    s.ShowFiles = false;
    Write("*browse* = Yes\r\n");
    Tune(path, s, &sink);
    EXPECT_TRUE(s.ShowFiles);

    s = Read(
        "*transport* = USB/FTDI\r\n*comport* = COM\r\n*rate* = fast\r\n*voice* = 5\r\n*fft_length* = 300\r\n"
        "*stereo* = whatever\r\n");
    EXPECT_EQ(s.TransportKind, AppSettings::Transport::UsbFtdi);
    EXPECT_EQ(s.ComPortNum, 0u);
    EXPECT_EQ(s.PortText, " None");
    EXPECT_EQ(s.Rate, 4);
    EXPECT_EQ(s.VoiceThrItem, 10);
    EXPECT_EQ(s.FftLength, 256);
    EXPECT_EQ(s.StereoMode, AppSettings::Stereo::RXinTX1in);
    // A serial device path gives its trailing number.
    EXPECT_EQ(Read("*comport* = /dev/ttyUSB3\r\n").ComPortNum, 3u);
}

TEST_F(ConfigFile, ValueThatDoesNotConvertIsSkippedAndReadingGoesOn) {
    const AppSettings s = Read("*ksps* = sixteen\r\n*bps* = 115200\r\n*voice* = loud\r\n*base* = Run7\r\n");
    EXPECT_EQ(s.SamplingRateFromSettings, 8000u);
    EXPECT_EQ(s.UartRate, "115200");
    EXPECT_EQ(s.VoiceThrItem, 10);
    EXPECT_EQ(s.BaseName, "Run7");
    EXPECT_EQ(sink.Status(), "Wrong value \"loud\" in " + path + " file, line 3");
    EXPECT_EQ(sink.StatusKind(), StatKind::Sticky);
}

TEST_F(ConfigFile, WrittenFileReadsBackToTheSameSettings) {
    AppSettings s;
    s.BaseName = "Bench A";
    s.RecordingsFolder = "/srv/Lab Records";
    s.Stamp = false;
    SetFormat(s, DataStreamFormat::Ksps24Ms2_67);
    s.StereoMode = AppSettings::Stereo::TX1inTX2in;
    s.DeleteTmp = false;
    s.ExactGaps = true;
    s.ShowFiles = false;
    s.TransportKind = AppSettings::Transport::UsbFtdi;
    s.IPAddrPort = "10.1.2.3:9000";
    s.PortText = "/dev/ttyUSB7";
    s.ComPortNum = 7;
    s.FtdiOnly = false;
    s.UartRate = "921600";
    s.BigEndian = true;
    s.Audio = "speakers";
    s.Rate = 6;
    s.VadMode = true;
    s.VoiceThrItem = 13;
    s.PaintVoice = false;
    s.PlotNoise = true;
    s.FftLength = 2048;
    s.VerifyChecksum = false;
    s.AutoReconnect = 0;
    s.Lock = true;
    s.SelectedNames = " Raw_TXIN1 Ampl_TXIN2 None Raw_RXIN1 Raw_RXOUT1";
    std::string error;
    ASSERT_TRUE(SaveSettings(path, s, error)) << error;
    const std::string text = Slurp();
    EXPECT_EQ(
        text.rfind("VintrelV5.27k coniguration\r\n\r\nFile Name Formation\r\n  *Base* name = Bench A\r\n", 0),
        0u);
    EXPECT_NE(text.find("  Frame duration, *ms* = 2.667\r\n"), std::string::npos);
    EXPECT_NE(text.find("  *Selected* channels = Raw_TXIN1 Ampl_TXIN2 None Raw_RXIN1 Raw_RXOUT1\r\n"),
              std::string::npos);

    EXPECT_NE(text.find("  *Browse* recorded files after parsing = No\r\n"), std::string::npos);

    AppSettings back;
    ASSERT_TRUE(Tune(path, back, &sink));
    EXPECT_EQ(sink.Status(), ""); // every written label was recognised, none as another's keyword
    EXPECT_EQ(back.BaseName, s.BaseName);
    EXPECT_EQ(back.RecordingsFolder, s.RecordingsFolder);
    EXPECT_EQ(back.Stamp, s.Stamp);
    EXPECT_EQ(FormatOf(back), DataStreamFormat::Ksps24Ms2_67);
    EXPECT_EQ(back.StereoMode, s.StereoMode);
    EXPECT_EQ(back.DeleteTmp, s.DeleteTmp);
    EXPECT_TRUE(back.ExactGaps);
    EXPECT_FALSE(back.ShowFiles);
    EXPECT_EQ(back.TransportKind, s.TransportKind);
    EXPECT_EQ(back.IPAddrPort, s.IPAddrPort);
    EXPECT_EQ(back.PortText, s.PortText);
    EXPECT_EQ(back.ComPortNum, s.ComPortNum);
    EXPECT_EQ(back.FtdiOnly, s.FtdiOnly);
    EXPECT_EQ(back.UartRate, s.UartRate);
    EXPECT_EQ(back.BigEndian, s.BigEndian);
    EXPECT_EQ(back.Audio, s.Audio);
    EXPECT_EQ(back.Rate, s.Rate);
    EXPECT_EQ(back.VadMode, s.VadMode);
    EXPECT_EQ(back.VoiceThrItem, s.VoiceThrItem);
    EXPECT_EQ(back.PaintVoice, s.PaintVoice);
    EXPECT_EQ(back.PlotNoise, s.PlotNoise);
    EXPECT_EQ(back.FftLength, s.FftLength);
    EXPECT_EQ(back.VerifyChecksum, s.VerifyChecksum);
    EXPECT_EQ(back.AutoReconnect, s.AutoReconnect);
    EXPECT_EQ(back.Lock, s.Lock);
    EXPECT_EQ(back.SelectedNames, "Raw_TXIN1 Ampl_TXIN2 None Raw_RXIN1 Raw_RXOUT1");

    // A "Simulator" transport reads back as TCP/IP; an empty base name or recordings folder (the
    // program's default folder) leaves its line out.
    s.TransportKind = AppSettings::Transport::Simulator;
    s.BaseName.clear();
    s.RecordingsFolder.clear();
    s.ShowFiles = true;
    ASSERT_TRUE(SaveSettings(path, s, error));
    EXPECT_EQ(Slurp().find("*Base*"), std::string::npos);
    EXPECT_EQ(Slurp().find("*Recordings*"), std::string::npos);
    AppSettings again;
    again.ShowFiles = false;
    again.RecordingsFolder = "/old";
    Tune(path, again, &sink);
    EXPECT_TRUE(again.ShowFiles);
    EXPECT_EQ(again.TransportKind, AppSettings::Transport::TcpIp);
    EXPECT_EQ(again.BaseName, "");
    EXPECT_EQ(again.RecordingsFolder, "/old"); // a file without the line keeps the default
}

TEST_F(ConfigFile, MissingFileAndUnwritablePlace) {
    AppSettings s;
    EXPECT_FALSE(Tune(scratch.File("no-such.config"), s, &sink));
    std::string error;
    EXPECT_FALSE(SaveSettings("/nonexistent/dir/x.config", s, error));
    EXPECT_NE(error.find("/nonexistent/dir/x.config"), std::string::npos);
}

TEST(ConfigTags, SelectedNamesBecomeChartTags) {
    TagModel tags;
    SetTagsFromSettingsFile(tags, "Raw_TXIN3 None Ampl_RXOUT1 Raw_RXIN1 Raw_REF2");
    EXPECT_EQ(tags.ChartTag[1].load(), 0x0104);
    EXPECT_EQ(tags.ChartTag[2].load(), 0);
    EXPECT_EQ(tags.ChartTag[3].load(), 0x0F01);
    EXPECT_EQ(tags.ChartTag[5].load(), 0x0802);
    EXPECT_EQ(tags.ChartSelTagCB[3].Text(), "Ampl_RXOUT1");
    EXPECT_EQ(SelectedNamesOf(tags), " Raw_TXIN3 None Ampl_RXOUT1 Raw_RXIN1 Raw_REF2");

    SetTagsFromSettingsFile(tags, "Raw_TXIN3 Raw_TXIN4"); // fewer than five: the rest get none
    EXPECT_EQ(tags.ChartTag[1].load(), 0x0104);
    EXPECT_EQ(tags.ChartTag[2].load(), 0); // a last name without a blank after it is not used
    EXPECT_EQ(tags.ChartTag[3].load(), 0);

    SetTagsFromSettingsFile(tags, "");
    EXPECT_EQ(tags.ChartTag[1].load(), 0x0101);
    EXPECT_EQ(tags.ChartTag[5].load(), 0x0701);
    EXPECT_TRUE(tags.ChartSelTagCB[1].Enabled);
}

} // namespace vintrel

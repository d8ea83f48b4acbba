// The main window for real, on the offscreen platform, against a target on loopback.
#include "app/MainForm.h"
#include "../monitor/QtTestApp.h"
#include "../monitor/SoundServer.h"
#include "../recording/RecordTestSupport.h"
#include "../sim/SimChildProcess.h"
#include "app/EditForm.h"
#include "app/HelpForm.h"
#include "app/SettingsForm.h"
#include "delay/DelayForm.h"
#include "sim/StreamGenerator.h"
#include "stream/FormatCheck.h"
#include "support/FrameBuilder.h"
#include "support/PseudoTerminal.h"
#include "support/StreamServer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

namespace vintrel {

namespace {

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The window lists the test's own sound server's sink; Qt Multimedia looks for a server
        // once per process, so it is started before the first window.
        test::SoundServer::Instance();
        test::QtApp();
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("mainform-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        options_.ProgramFolder = dir_.string();
        options_.SetFName = (dir_ / "VintrelV4_0.config").string();
        // No FTDI driver here: with the box unchecked no message box waits at start.
        std::ofstream(options_.SetFName, std::ios::binary) << "  Use *FTDI* ports only = No\r\n";
        // A message box would wait for a click that never comes: note its text and close it.
        boxWatch_ = std::make_unique<QTimer>();
        QObject::connect(boxWatch_.get(), &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes_.push_back(box->text().toStdString());
                box->reject();
            }
        });
        boxWatch_->start(100);
    }
    void TearDown() override {
        boxWatch_.reset();
        for (const auto& b : boxes_) std::cerr << "message box: " << b << "\n";
        std::filesystem::remove_all(dir_);
    }

    template <class Pred> static bool PumpUntil(Pred done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    // The device list holds "None" and the test's sound server's sink.
    static bool HasSoundDevice(TMainForm& f) { return f.Settings().AudioDeviceList()->count() >= 2; }
    static uint64_t Frames(TMainForm& f) {
        return f.Counter(CounterLabel::TotalFrames)->text().toULongLong();
    }

    std::filesystem::path dir_;
    StartOptions options_;
    std::unique_ptr<QTimer> boxWatch_;
    std::vector<std::string> boxes_;
};

} // namespace

TEST_F(MainFormTest, CaptionDebugDumpAndDefaults) {
    options_.DUMP2FILE = options_.MARK_BE = true;
    TMainForm f(options_);
    EXPECT_EQ(f.windowTitle(), "Tesmaro Sondrel V5.27k with DebugDump_BE");
    EXPECT_TRUE(std::filesystem::exists(dir_ / "ROtemp.$$$.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "ParseIndx.$$$.bin"));
    const ConnectSettings cs = f.Settings().CurrentConnectSettings();
    EXPECT_EQ(cs.RateText, "12000000");
    EXPECT_EQ(cs.AutoReconnectText, "3");
    EXPECT_EQ(cs.IPAddrPort, "127.0.0.1:9090");
    EXPECT_EQ(f.StatusText(), "Not connected");
    EXPECT_FALSE(f.MustTerminate()); // the delay library loaded from the program's own image
}

TEST_F(MainFormTest, LiveFramesAreDrawnAndDisconnectDisablesTheButtons) {
    sim::StreamConfig c;
    const auto bytes = sim::GenerateStream(c, 3000);
    // About twice real time. On a loaded machine a pause of the sender may show "Lost sync" on
    // the status line, over the target's platform text.
    test::StreamServer server(
        [&](int) { return test::StreamServer::Plan{.Bytes = bytes, .Piece = 5220, .PauseUs = 20000}; });
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << server.Address() << "\r\n";
    TMainForm f(options_);
    const QImage before = f.Canvas().copy();
    f.ConnectButtonClick();
    EXPECT_EQ(f.ConnectButtonWidget()->text(), "Disconnect");
    ASSERT_TRUE(PumpUntil([&] { return Frames(f) >= 256; }, 20000)) << f.StatusText().toStdString();
    EXPECT_EQ(f.EngineRef().State().Decoder.StatString().rfind("Platform: General", 0), 0u);
    // Chart 5 (RXout) shows bars: its picture changed.
    const QRect chart5(200 + 1, 240 + 1, 128, 128);
    int changed = 0;
    for (int y = chart5.top(); y <= chart5.bottom(); ++y)
        for (int x = chart5.left(); x <= chart5.right(); ++x)
            changed += f.Canvas().pixel(x, y) != before.pixel(x, y);
    EXPECT_GT(changed, 200);
    for (int k = 1; k <= 5; ++k) EXPECT_TRUE(f.ChartSoundButton[size_t(k)]->isEnabled()) << k;
    EXPECT_EQ(f.ChartSelTagCB[5]->currentText(), "Raw_RXOUT1");

    f.ConnectButtonClick(); // disconnect
    EXPECT_EQ(f.ConnectButtonWidget()->text(), "Connect");
    for (int k = 1; k <= 5; ++k) EXPECT_FALSE(f.ChartSoundButton[size_t(k)]->isEnabled()) << k;
    PumpUntil([&] { return f.StatusText() == "Connection closed"; }, 2000);
    EXPECT_EQ(f.StatusText(), "Connection closed");
}

TEST_F(MainFormTest, DisconnectDuringALongSerialReadGivesTheButtonsBackAtOnce) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.Ok());
    // The port list holds real serial devices only: the pseudo-terminal is chosen behind the dialog.
    struct PtyForm : TMainForm {
        using TMainForm::TMainForm;
        ConnectSettings CurrentConnectSettings() const override { return link; }
        ConnectSettings link;
    } f(options_);
    ConnectSettings& cs = f.link = f.Settings().CurrentConnectSettings();
    cs.TransportButton = ConnectSettings::Link::Usb;
    cs.FtdiPortsOnly = false;
    cs.PortItem = pty.Slave();
    cs.PortIndex = 1;
    cs.RateText = "921600";
    f.ConnectButtonClick();
    ASSERT_EQ(f.ConnectButtonWidget()->text(), "Disconnect") << f.StatusText().toStdString();
    // Two frames 40 000 bytes long, then silence. Synchronised, the transport reads one frame
    // length, 40 s; had the link been given up meanwhile (a loaded machine), 4096 bytes, 4 s.
    pty.Write(test::LongFrames());
    PumpUntil([] { return false; }, 500);

    const auto t0 = std::chrono::steady_clock::now();
    f.ConnectButtonClick(); // disconnect
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 200);
    EXPECT_EQ(f.ConnectButtonWidget()->text(), "Connect");
    EXPECT_TRUE(f.ConnectButtonWidget()->isEnabled());
    EXPECT_TRUE(PumpUntil([&] { return f.StatusText() == "Connection closed"; }, 2000))
        << f.StatusText().toStdString();
}

TEST_F(MainFormTest, StatusRoutinesAndHitTests) {
    TMainForm f(options_);
    f.SetStat("Inconsistent frame numbers.");
    f.ChangeStat("nothing like it", "");
    EXPECT_EQ(f.StatusText(), "Inconsistent frame numbers.");
    f.ChangeStat("inconsistent ", "");
    EXPECT_EQ(f.StatusText(), "");
    EXPECT_EQ(TMainForm::ChartAt(16, 48), 1);
    EXPECT_EQ(TMainForm::ChartAt(146, 178), 1);
    EXPECT_EQ(TMainForm::ChartAt(147, 178), 0);
    EXPECT_EQ(TMainForm::ChartAt(384 + 130, 240 + 130), 6);
    EXPECT_EQ(TMainForm::ChartAt(5, 5), 0);
}

// What the stream contradicts stays in its own line: the status line does not overwrite it and
// the user's next Connect clears it.
TEST_F(MainFormTest, TheFormatWarningHasALineOfItsOwn) {
    test::StreamServer server([](int) { return test::StreamServer::Plan{}; });
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << server.Address() << "\r\n";
    TMainForm f(options_);
    f.show();
    EXPECT_FALSE(f.FormatWarningWidget()->isVisible());
    const FormatFinding finding{.FormatMismatch = true, .Fits = FormatsCarrying(64), .Samples = 64};
    uintptr_t w;
    intptr_t l;
    PackFinding(finding, w, l);
    f.EngineRef().AppMessage(WM_FORMAT_REPORT, w, l);
    f.SetStat("Lost sync");
    EXPECT_TRUE(f.FormatWarningWidget()->isVisible());
    EXPECT_EQ(f.FormatWarningWidget()->text().toStdString(),
              "frames carry 64 samples per channel; formats that fit: \"16 Ksps, 4 ms\" (16k4), \"24 Ksps, "
              "2.67ms\" (24k2.67)");
    EXPECT_EQ(f.StatusText(), "Lost sync");
    f.ConnectButtonClick();
    EXPECT_EQ(f.ConnectButtonWidget()->text(), "Disconnect");
    EXPECT_FALSE(f.FormatWarningWidget()->isVisible());
    f.ConnectButtonClick();
}

TEST_F(MainFormTest, HistoryHelpAndSettingsSurviveARestart) {
    {
        TMainForm f(options_);
        f.History().HistoryButtonClick();
        EXPECT_EQ(f.History().size(), QSize(800, 350));
        const QString manual = f.Help().Browser()->toPlainText();
        for (const char* topic :
             {"No signal", "Lost sync", "Checksum error", "Recording", "Delay recommendation"})
            EXPECT_TRUE(manual.contains(topic)) << topic;
        f.ChartSelTagCB[2]->setCurrentIndex(f.ChartSelTagCB[2]->findText("Raw_TXIN1"));
        emit f.ChartSelTagCB[2]->activated(f.ChartSelTagCB[2]->currentIndex());
        f.close(); // writes the configuration file
    }
    std::ifstream in(options_.SetFName, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("  *Selected* channels = Raw_TXIN1 Raw_TXIN1 Raw_TXOUT1 Raw_RXIN1 Raw_RXOUT1\r\n"),
              std::string::npos)
        << text;
    TMainForm again(options_);
    EXPECT_EQ(again.ChartSelTagCB[2]->currentText(), "Raw_TXIN1");
    EXPECT_EQ(again.EngineRef().State().Tags.ChartTag[2].load(), 0x0101);
}

} // namespace vintrel

namespace vintrel {

namespace {
// A running simulator process serving one client in real time.
struct LiveSim {
    explicit LiveSim(std::vector<std::string> extra) : proc(Args(std::move(extra))) {
        const auto line = proc.ReadLine(std::chrono::seconds(5));
        if (line && line->rfind("listening on ", 0) == 0) address = line->substr(13);
    }
    static std::vector<std::string> Args(std::vector<std::string> extra) {
        std::vector<std::string> a = {"--listen", "127.0.0.1:0", "--once", "--seconds", "60"};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    sim::test::SimChildProcess proc;
    std::string address;
};
} // namespace

class MainFormLiveTest : public MainFormTest {
protected:
    void WriteConfig(const std::string& address) {
        std::ofstream(options_.SetFName, std::ios::binary)
            << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << address << "\r\n";
    }
};

TEST_F(MainFormLiveTest, RecordTwoSecondsThenCancelAnother) {
    LiveSim sim({});
    ASSERT_FALSE(sim.address.empty());
    WriteConfig(sim.address);
    TMainForm f(options_);
    f.ConnectButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return Frames(f) >= 64; }, 10000));
    f.StartStopButtonClick(); // Start record
    ASSERT_TRUE(PumpUntil([&] { return f.RecordedSec().toInt() >= 2; }, 10000))
        << f.RecordedSec().toStdString() << " s, " << f.StatusText().toStdString() << ", inconsistent "
        << f.Counter(CounterLabel::InconsistentFrames)->text().toStdString() << ", checksum "
        << f.Counter(CounterLabel::ChecksumErrors)->text().toStdString() << ", frames " << Frames(f);
    f.StartStopButtonClick(); // End record: parsed into WAV files beside the program
    int wavs = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) wavs += e.path().extension() == ".wav";
    EXPECT_GE(wavs, 5) << f.StatusText().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir_ / "temp.$$$")); // deleted after parsing by default

    f.StartStopButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(dir_ / "temp.$$$"); }, 5000))
        << f.StatusText().toStdString();
    f.ButtonCancelRecClick();
    EXPECT_FALSE(std::filesystem::exists(dir_ / "temp.$$$"));
}

TEST_F(MainFormLiveTest, RecordOfAStreamThatChangesKeepsEveryFrameWhereItsNumberSays) {
    test::ScriptedTarget target(test::TableChangeScript());
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << target.Address()
        << "\r\n  Fill frame number *gaps* = exact\r\n  *Base* name = w\r\n  Include Time *Stamp* = No\r\n";
    TMainForm f(options_);
    f.ConnectButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return Frames(f) >= 64; }, 10000));
    f.StartStopButtonClick(); // Start record
    ASSERT_TRUE(PumpUntil([&] { return f.RecordedSec().toInt() >= 3; }, 20000))
        << f.StatusText().toStdString();
    f.StartStopButtonClick(); // End record
    PumpUntil([&] { return f.StatusText().contains("; Gap: "); }, 5000);
    const std::string status = f.StatusText().toStdString();
    EXPECT_NE(status.find("; Gap: frames 600 to 609 missing (10 frames), 320 samples of silence at sample "),
              std::string::npos)
        << status;
    EXPECT_NE(status.find("(and 1 more, see " + (dir_ / "w-gaps.txt").string() + ")"), std::string::npos)
        << status;
    // TX1in holds the frame numbers: the file runs from the first to the last one recorded, the
    // ten missing ones silent.
    const std::vector<int16_t> tx = test::ReadWav((dir_ / "w-Raw_TXIN1.wav").string()).samples;
    ASSERT_GE(tx.size(), 750u * 32);
    const int first = tx.front(), last = tx.back();
    ASSERT_LT(first, 600);
    ASSERT_EQ(tx.size(), size_t(last - first + 1) * 32);
    for (int n = first; n <= last; ++n)
        ASSERT_EQ(tx[size_t(n - first) * 32], n >= 600 && n < 610 ? 0 : n) << n;
    EXPECT_EQ(test::ReadWav((dir_ / "w-MIPS.wav").string()).samples.size(), tx.size());
    EXPECT_FALSE(std::filesystem::exists(dir_ / "w-Raw_RXIN2.wav"));
}

TEST_F(MainFormLiveTest, DelayWindowFindsTheSimulatorsEcho) {
    LiveSim sim({"--echo-delay-ms", "100"});
    ASSERT_FALSE(sim.address.empty());
    WriteConfig(sim.address);
    TMainForm f(options_);
    f.ConnectButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return Frames(f) >= 64; }, 10000));
    f.DiagramButtonClick();
    ASSERT_TRUE(f.DelayWindow().isVisible());
    // The recommendation follows once a second of levels has been seen and the estimate is steady.
    ASSERT_TRUE(PumpUntil(
        [&] {
            return f.DelayWindow().msLabeledEdit->text() == "100" &&
                   f.DelayWindow().LabeledEditRPD->text() == "95";
        },
        20000))
        << f.DelayWindow().msLabeledEdit->text().toStdString() << " "
        << f.DelayWindow().LabeledEditRPD->text().toStdString() << " "
        << f.DelayWindow().WarningEdit->text().toStdString();
}

TEST_F(MainFormLiveTest, DamagedStreamCountsStripesAndPanels) {
    LiveSim sim({"--bad-checksum-every", "50", "--skip-frame-every", "400", "--drop-connection-after", "3"});
    ASSERT_FALSE(sim.address.empty());
    WriteConfig(sim.address);
    TMainForm f(options_);
    const QImage before = f.Canvas().copy();
    f.ConnectButtonClick();
    ASSERT_TRUE(
        PumpUntil([&] { return f.Counter(CounterLabel::ChecksumErrors)->text().toInt() >= 3; }, 10000));
    // A checksum error is shown in bold and draws a stripe: a column of the stripe colour.
    EXPECT_TRUE(f.StatusText().contains("Checksum error") || f.StatusText().startsWith("Platform"));
    ASSERT_TRUE(
        PumpUntil([&] { return f.Counter(CounterLabel::InconsistentFrames)->text().toInt() >= 1; }, 10000));
    // The simulator drops the link after 3 s and is gone: lost sync, then the TCP/IP error form.
    ASSERT_TRUE(PumpUntil([&] { return f.DiagPanelShown(); }, 15000)) << f.StatusText().toStdString();
    EXPECT_EQ(f.DiagPanelTitle(), "TCP/IP error:");
    EXPECT_NE(f.Canvas(), before);
}

TEST_F(MainFormTest, WrongListenerAddressShowsTheTcpIpPanel) {
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = localhost:9090\r\n";
    TMainForm f(options_);
    f.ConnectButtonClick();
    EXPECT_EQ(f.ConnectButtonWidget()->text(), "Connect");
    EXPECT_TRUE(f.DiagPanelShown());
    EXPECT_EQ(f.DiagPanelTitle(), "TCP/IP error:");
}

TEST_F(MainFormTest, TheDeviceListIsTheDeviceThatPlaysAndIsLockedWhileItPlays) {
    {
        TMainForm f(options_); // first start: no device stored
        QComboBox* list = f.Settings().AudioDeviceList();
        ASSERT_GE(list->count(), 1);
        EXPECT_EQ(list->itemText(0), "None");
        if (!HasSoundDevice(f)) GTEST_SKIP() << "no sound server: " << test::SoundServer::Instance().Why();
        EXPECT_EQ(list->currentIndex(), 1); // a new user hears the first device
        EXPECT_EQ(f.Listening().SelectedDevice(), 1);

        f.ChannelButtonClick(2); // plays on the device shown
        EXPECT_EQ(f.Listening().Listen(), CHART12) << f.StatusText().toStdString();
        EXPECT_TRUE(f.ActiveChannelBevel.Visible);
        EXPECT_FALSE(list->isEnabled());
        f.ChannelButtonClick(2); // the second press stops it
        EXPECT_EQ(f.Listening().Listen(), NOCHART);
        EXPECT_FALSE(f.ActiveChannelBevel.Visible);
        EXPECT_TRUE(list->isEnabled());

        list->setCurrentIndex(0); // "None": Play plays nothing
        EXPECT_EQ(f.Listening().SelectedDevice(), 0);
        f.ChannelButtonClick(2);
        PumpUntil([&] { return f.StatusText() == "No audio output device to play on"; }, 5000);
        EXPECT_EQ(f.StatusText(), "No audio output device to play on");
        EXPECT_EQ(f.Listening().Listen(), NOCHART);
        EXPECT_EQ(f.Listening().Sink(), nullptr);
        EXPECT_FALSE(f.ActiveChannelBevel.Visible);
        EXPECT_TRUE(list->isEnabled());
    }
    TMainForm again(options_); // "None" was stored and stays
    EXPECT_EQ(again.Settings().AudioDeviceList()->currentIndex(), 0);
    EXPECT_EQ(again.Listening().SelectedDevice(), 0);
}

namespace {
// A paced stream of `frames` clean frames from `first` on, and, with `skipEvery`, more frames of
// which every skipEvery-th is missing: inconsistent frames close enough to reconnect.
test::StreamServer::Plan Paced(uint32_t first, uint64_t frames, uint32_t skipEvery = 0, bool close = false) {
    sim::StreamConfig c;
    c.startCounter = first;
    std::vector<uint8_t> bytes = sim::GenerateStream(c, frames);
    if (skipEvery) {
        c.startCounter = first + uint32_t(frames);
        c.damage.skipFrameEvery = skipEvery;
        const auto damaged = sim::GenerateStream(c, 20 * skipEvery);
        bytes.insert(bytes.end(), damaged.begin(), damaged.end());
    }
    // Ten frames every 20 ms: about twice real time.
    return {.Bytes = bytes, .CloseAtEnd = close, .Piece = 10 * (bytes.size() / frames), .PauseUs = 20000};
}
} // namespace

TEST_F(MainFormTest, ListeningResumesAfterEachReconnectionTheProgramMakes) {
    test::StreamServer server([](int k) {
        return k == 0   ? Paced(0, 1500, 10)      // inconsistent frames: reconnected
               : k == 1 ? Paced(0, 1500, 0, true) // closed by the target: reconnected
                        : Paced(0, 30000);
    });
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << server.Address() << "\r\n";
    TMainForm f(options_);
    if (!HasSoundDevice(f)) GTEST_SKIP() << "no sound server: " << test::SoundServer::Instance().Why();
    f.ConnectButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return f.ChartSoundButton[1]->isEnabled(); }, 20000));
    ASSERT_EQ(f.EngineRef().Links().Reconnects(), 0u) << "the first stream ended before Play";
    f.ChannelButtonClick(1);
    ASSERT_EQ(f.Listening().Listen(), CHART11) << f.StatusText().toStdString();
    // Each reconnection stops listening; the first frames after it play the chart again.
    const Engine& e = f.EngineRef();
    EXPECT_TRUE(
        PumpUntil([&] { return e.Links().Reconnects() >= 1 && f.Listening().Listen() == CHART11; }, 30000))
        << e.Links().Reconnects() << " " << f.StatusText().toStdString();
    EXPECT_TRUE(PumpUntil(
        [&] { return server.Accepted() >= 3 && e.Connected() && f.Listening().Listen() == CHART11; }, 30000))
        << server.Accepted() << " " << e.Links().Reconnects() << " " << f.StatusText().toStdString();
    EXPECT_EQ(e.Links().Reconnects(), 2u);
    EXPECT_TRUE(f.ActiveChannelBevel.Visible);
    EXPECT_FALSE(f.Settings().AudioDeviceList()->isEnabled());
}

TEST_F(MainFormTest, TheUsersDisconnectAndConnectResumeNothing) {
    test::StreamServer server([](int k) {
        return k == 1   ? Paced(0, 1500, 0, true)               // closed by the target
               : k == 2 ? test::StreamServer::Plan{.Bytes = {}} // the reconnection brings nothing
                        : Paced(0, 30000);
    });
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << server.Address() << "\r\n";
    TMainForm f(options_);
    if (!HasSoundDevice(f)) GTEST_SKIP() << "no sound server: " << test::SoundServer::Instance().Why();
    const auto playing = [&] {
        EXPECT_TRUE(PumpUntil([&] { return f.ChartSoundButton[1]->isEnabled(); }, 20000));
        f.ChannelButtonClick(1);
        return f.Listening().Listen() == CHART11;
    };
    const auto framesFlowAgain = [&] {
        return PumpUntil([&] { return Frames(f) >= 64 && f.ChartSoundButton[1]->isEnabled(); }, 20000);
    };

    f.ConnectButtonClick();
    ASSERT_TRUE(playing()) << f.StatusText().toStdString();
    f.ConnectButtonClick(); // the user's Disconnect while a chart plays
    EXPECT_EQ(f.Listening().Listen(), NOCHART);
    EXPECT_EQ(f.ListeningToResume(), NOCHART);
    EXPECT_TRUE(f.Settings().AudioDeviceList()->isEnabled());
    f.ConnectButtonClick();
    ASSERT_TRUE(framesFlowAgain());
    EXPECT_EQ(f.Listening().Listen(), NOCHART);

    // The target closes; the reconnection brings no frames: the chart waits to play again ...
    ASSERT_TRUE(playing()) << f.StatusText().toStdString();
    ASSERT_TRUE(PumpUntil([&] { return server.Accepted() >= 3 && f.ListeningToResume() == CHART11; }, 30000))
        << server.Accepted() << " " << f.StatusText().toStdString();
    f.ConnectButtonClick(); // ... until the user disconnects and connects again
    f.ConnectButtonClick();
    EXPECT_EQ(f.ListeningToResume(), NOCHART);
    ASSERT_TRUE(framesFlowAgain());
    EXPECT_EQ(f.Listening().Listen(), NOCHART);
    EXPECT_EQ(server.Accepted(), 4);
}

} // namespace vintrel

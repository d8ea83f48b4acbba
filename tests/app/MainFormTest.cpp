// The main window for real, on the offscreen platform, against a target on loopback.
#include "app/MainForm.h"
#include "../monitor/QtTestApp.h"
#include "../monitor/SoundServer.h"
#include "../recording/RecordTestSupport.h"
#include "../sim/SimChildProcess.h"
#include "app/ChartView.h"
#include "app/EditForm.h"
#include "app/HelpForm.h"
#include "app/RecordBrowser.h"
#include "app/SettingsForm.h"
#include "app/SignalCloser.h"
#include "app/Version.h"
#include "connection/Ftdi.h"
#include "delay/DelayForm.h"
#include "monitor/ChartLabels.h"
#include "monitor/SimpleChart.h"
#include "sim/StreamGenerator.h"
#include "stream/FormatCheck.h"
#include "support/FrameBuilder.h"
#include "support/PseudoTerminal.h"
#include "support/StreamServer.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace vintrel {

namespace {

// Notes the wildcards the window would hand to the browsing copy instead of starting one.
struct FakeBrowser : RecordBrowserLauncher {
    void Start(const QString& program, const QString& wildcard) override {
        wildcards.push_back(wildcard.toStdString());
    }
    void Stop() override { ++stops; }
    std::vector<std::string> wildcards;
    int stops = 0;
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The window lists the test's own sound server's sink; Qt Multimedia looks for a server
        // once per process, so it is started before the first window.
        test::SoundServer::Instance();
        test::QtApp();
        options_.Browser = &browser_;
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("mainform-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        options_.RecordingsFolder = options_.DumpFolder = dir_.string();
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
        unsetenv(Ftdi::kLibraryEnvVar);
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
    // The user's key press or mouse click on `w`, as the window system delivers it.
    static void Press(QWidget* w, bool key) {
        if (key) {
            QKeyEvent e(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
            QCoreApplication::sendEvent(w, &e);
        } else {
            QMouseEvent e(QEvent::MouseButtonPress, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w, &e);
        }
    }
    // The configuration file's complaint about an unknown label on `line`.
    QString Complaint(int line) const {
        return "Unrecognized parameter name in " + QString::fromStdString(options_.SetFName) +
               " file, line " + QString::number(line);
    }
    // A caption as the user reads it: without the key letter's "&".
    static QString Plain(const QAbstractButton* b) { return QString(b->text()).remove('&'); }
    // The window's button (or box) reading `caption`.
    static QAbstractButton* Button(const TMainForm& f, const QString& caption) {
        for (QAbstractButton* b : f.findChildren<QAbstractButton*>())
            if (Plain(b) == caption) return b;
        return nullptr;
    }
    // Sets a box as a click by the user does.
    static void SetBox(const TMainForm& f, const QString& caption, bool on) {
        QAbstractButton* b = Button(f, caption);
        ASSERT_NE(b, nullptr) << caption.toStdString();
        if (b->isChecked() != on) b->click();
    }

    FakeBrowser browser_;
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

TEST_F(MainFormTest, FtdiPortsOnlyFollowsTheLibraryUnlessTheFileSays) {
    const std::string noLibrary = (dir_ / "libftd2xx.so").string(); // not there
    struct Case {
        const char* name;
        std::string library;
        const char* config; // nullptr: no configuration file
        bool checked;
        bool box;
    };
    const Case cases[] = {
        {"library, no ftdi line", FAKE_FTD2XX_PATH, "  UART rate, *bps* = 921600\r\n", true, false},
        {"library, stored No", FAKE_FTD2XX_PATH, "  Use *FTDI* ports only = No\r\n", false, false},
        {"no library, no file", noLibrary, nullptr, false, false},
        {"no library, no ftdi line", noLibrary, "  UART rate, *bps* = 921600\r\n", false, false},
        {"no library, stored Yes", noLibrary, "  Use *FTDI* ports only = Yes\r\n", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setenv(Ftdi::kLibraryEnvVar, c.library.c_str(), 1);
        std::filesystem::remove(options_.SetFName);
        if (c.config) std::ofstream(options_.SetFName, std::ios::binary) << c.config;
        boxes_.clear();
        TMainForm f(options_);
        EXPECT_EQ(f.Settings().CurrentConnectSettings().FtdiPortsOnly, c.checked);
        ASSERT_EQ(boxes_.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(boxes_[0].rfind("FTDI device driver not found.", 0), 0u) << boxes_[0];
        }
    }
    boxes_.clear();
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
    EXPECT_EQ(Plain(f.ConnectButtonWidget()), "Disconnect");
    EXPECT_EQ(f.ConnectButtonWidget()->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
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

    // The profile's details take the statistics' place, and the window grows by the memo as far
    // as its screen allows.
    f.show();
    ASSERT_TRUE(PumpUntil([&] { return !Button(f, "Show Details")->isHidden(); }, 20000));
    const int height = f.height();
    f.ShowDetails();
    EXPECT_TRUE(f.DetailsWidget()->isVisible());
    EXPECT_GT(f.height(), height);
    EXPECT_GE(f.DetailsWidget()->height(), 120);
    EXPECT_TRUE(f.screen()->availableGeometry().contains(f.frameGeometry()));
    f.ShowDetails();
    EXPECT_FALSE(f.DetailsWidget()->isVisible());
    EXPECT_EQ(f.height(), height);

    f.ConnectButtonClick(); // disconnect
    EXPECT_EQ(Plain(f.ConnectButtonWidget()), "Connect");
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
    ASSERT_EQ(Plain(f.ConnectButtonWidget()), "Disconnect") << f.StatusText().toStdString();
    // Two frames 40 000 bytes long, then silence. Synchronised, the transport reads one frame
    // length, 40 s; had the link been given up meanwhile (a loaded machine), 4096 bytes, 4 s.
    pty.Write(test::LongFrames());
    PumpUntil([] { return false; }, 500);

    const auto t0 = std::chrono::steady_clock::now();
    f.ConnectButtonClick(); // disconnect
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 200);
    EXPECT_EQ(Plain(f.ConnectButtonWidget()), "Connect");
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
    // The pointer over a chart names its channel.
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), QPointF(20, 20), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(f.ChartViewWidget(5), &move);
    ASSERT_FALSE(f.ChartSelTagCB[5]->currentText().isEmpty());
    EXPECT_TRUE(f.StatusText().startsWith(f.ChartSelTagCB[5]->currentText())) << f.StatusText().toStdString();
}

// A line of the configuration file that names no setting: its complaint is still on the status
// line when the window is up (the port list is filled after the file is read), routine texts
// wait behind it, and it goes with the user's next click or key in the main window, not in the
// settings dialog.
TEST_F(MainFormTest, AConfigurationComplaintStaysUntilTheUsersAction) {
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  Colour of the sky = blue\r\n";
    TMainForm f(options_);
    ASSERT_TRUE(PumpUntil([&] { return f.StatusText() == Complaint(2); }, 5000))
        << f.StatusText().toStdString();
    PumpUntil([] { return false; }, 200); // whatever else start-up queued
    EXPECT_EQ(f.StatusText(), Complaint(2));
    f.SetStat("Lost sync");
    EXPECT_EQ(f.StatusText(), Complaint(2));
    Press(&f.Settings(), true);
    Press(&f.Settings(), false);
    EXPECT_EQ(f.StatusText(), Complaint(2));
    Press(f.Counter(CounterLabel::TotalFrames), false);
    EXPECT_EQ(f.StatusText(), "Lost sync"); // the latest routine text
    f.SetStat("Connection closed");
    EXPECT_EQ(f.StatusText(), "Connection closed");
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
    EXPECT_EQ(Plain(f.ConnectButtonWidget()), "Disconnect");
    EXPECT_FALSE(f.FormatWarningWidget()->isVisible());
    f.ConnectButtonClick();
}

TEST_F(MainFormTest, HistoryHelpAndSettingsSurviveARestart) {
    {
        TMainForm f(options_);
        f.History().HistoryButtonClick();
        EXPECT_EQ(f.History().size(), QSize(800, 350));
        EXPECT_EQ(f.Help().windowTitle(), "Tesmaro Sondrel Help"); // the version goes below it
        EXPECT_EQ(f.Help().VersionLabel()->text(), QString("Vintrel version ") + ProjectVersion());
        const QString manual = f.Help().Browser()->toPlainText();
        for (const char* topic :
             {"No signal", "Lost sync", "Checksum error", "Recording", "Delay recommendation"})
            EXPECT_TRUE(manual.contains(topic)) << topic;
        f.ChartSelTagCB[2]->setCurrentIndex(f.ChartSelTagCB[2]->findText("Raw_TXIN1"));
        emit f.ChartSelTagCB[2]->activated(f.ChartSelTagCB[2]->currentIndex());
        EXPECT_EQ(f.ChartSoundButton[2]->toolTip(), "Raw_TXIN1"); // the Play button names its channel
        f.close();                                                // writes the configuration file
    }
    EXPECT_EQ(browser_.stops, 1); // the window's end ends a browsing copy too
    std::ifstream in(options_.SetFName, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("  *Browse* recorded files after parsing = Yes\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  *Selected* channels = Raw_TXIN1 Raw_TXIN1 Raw_TXOUT1 Raw_RXIN1 Raw_RXOUT1\r\n"),
              std::string::npos)
        << text;
    TMainForm again(options_);
    EXPECT_EQ(again.ChartSelTagCB[2]->currentText(), "Raw_TXIN1");
    EXPECT_EQ(again.EngineRef().State().Tags.ChartTag[2].load(), 0x0101);
    again.TagListsChanged(); // the lists rebuilt as the stream's tags change
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(again.ChartSoundButton[size_t(k)]->toolTip(), again.ChartSelTagCB[size_t(k)]->currentText())
            << k;
    EXPECT_EQ(again.ChartSoundButton[2]->toolTip(), "Raw_TXIN1");
}

// SIGTERM and SIGINT close the window as its close button does: its configuration is written.
TEST_F(MainFormTest, TermAndIntCloseTheWindowWritingItsConfiguration) {
    for (const int sig : {SIGTERM, SIGINT}) {
        std::filesystem::remove(options_.SetFName);
        {
            TMainForm f(options_);
            new SignalCloser(&f);
            f.show();
            ASSERT_EQ(::raise(sig), 0);
            ASSERT_TRUE(PumpUntil([&] { return !f.isVisible(); }, 30000)) << sig;
            EXPECT_TRUE(std::filesystem::exists(options_.SetFName)) << sig;
        }
        // With the window gone the signals have their default action again.
        struct sigaction now {};
        ::sigaction(sig, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_DFL) << sig;
    }
}

// "Recordings folder" shows the program's default until the configuration names another; the
// first record makes the folder (the owner's only) and holds it.
TEST_F(MainFormTest, RecordingsFolderIsMadeWhenFirstNeededAndHeldWhileRecording) {
    const std::string chosen = (dir_ / "records" / "bench").string();
    {
        TMainForm f(options_);
        EXPECT_EQ(f.Settings().RecordingsFolder().toStdString(), options_.RecordingsFolder);
        f.close();
    }
    std::ifstream in(options_.SetFName, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("*Recordings*"), std::string::npos) << text; // the default is not stored
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *Recordings* folder = " << chosen << "\r\n";
    TMainForm f(options_);
    EXPECT_TRUE(f.RecordingSettings().LockFolder);
    EXPECT_FALSE(std::filesystem::exists(chosen)); // not made at start
    f.StartStopButtonClick();
    ASSERT_TRUE(f.EngineRef().Recording().IsRecording()) << f.StatusText().toStdString();
    EXPECT_TRUE(std::filesystem::exists(chosen + "/temp.$$$"));
    for (const std::filesystem::path& made : {dir_ / "records", dir_ / "records" / "bench"})
        EXPECT_EQ(std::filesystem::status(made).permissions(), std::filesystem::perms::owner_all) << made;
    f.ButtonCancelRecClick();
}

// Near the bottom-right corner of its screen the main window still puts the windows it places on
// that screen's free area: beside it, below it and centred on it as far as the area allows.
TEST_F(MainFormTest, TheWindowsItPlacesStayOnItsScreen) {
    TMainForm f(options_);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    f.move(area.right() - 100, area.bottom() - 80);
    f.show();
    ASSERT_EQ(f.screen()->availableGeometry(), area);
    // Wholly on the area, or at its left or top edge where the window is wider or taller.
    const auto onArea = [&](const QWidget& w) {
        const QRect r = w.frameGeometry();
        const bool xOk = r.width() <= area.width() ? r.left() >= area.left() && r.right() <= area.right()
                                                   : r.left() == area.left();
        const bool yOk = r.height() <= area.height() ? r.top() >= area.top() && r.bottom() <= area.bottom()
                                                     : r.top() == area.top();
        return xOk && yOk;
    };
    const auto where = [](const QWidget& w) {
        const QRect r = w.frameGeometry();
        return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
    };
    ASSERT_TRUE(PumpUntil([&] { return f.Settings().isVisible(); }, 30000)); // the timer's first tick
    EXPECT_TRUE(onArea(f.Settings())) << where(f.Settings());
    f.DelayWindow().show(); // where the first tick put it, at the size it takes when shown
    ASSERT_TRUE(PumpUntil([&] { return f.DelayWindow().isVisible(); }, 30000));
    EXPECT_TRUE(onArea(f.DelayWindow())) << where(f.DelayWindow());
    f.DelayWindow().hide();
    Button(f, "Help")->click();
    EXPECT_TRUE(f.Help().isVisible());
    EXPECT_TRUE(onArea(f.Help())) << where(f.Help());
    f.History().HistoryButtonClick();
    EXPECT_TRUE(onArea(f.History())) << where(f.History());
}

// The window grows and the charts with it, each drawing its chart's image scaled: every pixel is
// the image's pixel at the scaled position (give or take one for the rounding of the edges).
TEST_F(MainFormTest, ChartsGrowWithTheWindowAndDrawTheirImagesScaled) {
    TMainForm f(options_);
    f.show();
    for (int k = 1; k <= 6; ++k) EXPECT_EQ(f.ChartViewWidget(k)->PlotRect().size(), QSize(128, 128)) << k;
    // Bars of every height, so that the rows differ.
    TSimpleChart& chart = f.Panel().Chart(5);
    chart.SetRate(0);
    for (int i = 0; i < 64; ++i) chart.Add5(int16_t(i * 500), 0, -2, -2);
    f.resize(1280, 1000);
    QCoreApplication::processEvents();
    const QImage image = chart.BitMap();
    for (int k = 1; k <= 6; ++k) {
        ChartView& view = *f.ChartViewWidget(k);
        const QRect plot = view.PlotRect();
        EXPECT_GT(plot.width(), 256) << k;
        EXPECT_GT(plot.height(), 192) << k;
        if (k != 5) continue;
        const QImage shown = view.grab().toImage();
        int wrong = 0;
        for (int y = 0; y < plot.height(); ++y)
            for (int x = 0; x < plot.width(); ++x) {
                const int sx = (2 * x + 1) * 128 / (2 * plot.width()),
                          sy = (2 * y + 1) * 128 / (2 * plot.height());
                bool near = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        near =
                            near || image.pixel(std::clamp(sx + dx, 0, 127), std::clamp(sy + dy, 0, 127)) ==
                                        shown.pixel(plot.left() + x, plot.top() + y);
                wrong += !near;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// Every caption of the main window, its panels and the settings dialog is as wide as its text
// needs (the status line cuts long texts: it is left out).
TEST_F(MainFormTest, EveryCaptionFits) {
    TMainForm f(options_);
    f.show();
    f.Settings().show();
    Button(f, "More")->click();
    f.TcpIpError("Wrong addr: port 127.0.0.1:99999");
    const auto clipped = [](QWidget& window) {
        QStringList found;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            if (!w->isVisibleTo(&window) || w->window() != &window) continue;
            const auto* label = qobject_cast<QLabel*>(w);
            const bool caption = (label && !label->wordWrap() &&
                                  label->sizePolicy().horizontalPolicy() != QSizePolicy::Ignored) ||
                                 qobject_cast<QAbstractButton*>(w);
            // A push button's hint has the style's least width: its text needs a few pixels more.
            const auto* push = qobject_cast<QPushButton*>(w);
            const int needs =
                push ? push->fontMetrics().horizontalAdvance(Plain(push)) + 8 : w->sizeHint().width();
            if (caption && w->width() < needs)
                found << w->property("text").toString() + QString(" %1 < %2").arg(w->width()).arg(needs);
        }
        return found.join("; ").toStdString();
    };
    EXPECT_EQ(clipped(f), "");
    EXPECT_EQ(clipped(f.Settings()), "");
    f.ShowRecordDamage(ParseOutcome{});
    EXPECT_EQ(clipped(f), "");
}

// The dB sliders and the SNR labels follow the charts: no slider beside a spectrogram, the SNR only
// while both the noise level and the voiced frames are painted.
TEST_F(MainFormTest, SlidersAndSnrLabelsFollowTheChartsAndTheBoxes) {
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  Paint *noise/voice* = both\r\n";
    TMainForm f(options_);
    for (int k = 1; k <= 5; ++k) EXPECT_FALSE(f.SnrLabelWidget(k)->isHidden()) << k; // as the file says
    const struct {
        bool noise, voice, shown;
    } cases[] = {{false, true, false}, {false, false, false}, {true, false, false}, {true, true, true}};
    for (const auto& c : cases) {
        SetBox(f, "Plot noise level", c.noise);
        SetBox(f, "Paint voiced frames", c.voice);
        for (int k = 1; k <= 5; ++k)
            EXPECT_EQ(f.SnrLabelWidget(k)->isHidden(), !c.shown) << c.noise << c.voice << " chart " << k;
    }
    EXPECT_FALSE(f.SnrLabelWidget(6)->isHidden()); // the MIPS caption

    const auto slidersHidden = [&](bool hidden) {
        for (int k = 1; k <= 5; ++k)
            if (f.DbSliderWidget(k)->isHidden() != hidden) return false;
        return true;
    };
    EXPECT_TRUE(slidersHidden(false));
    f.ShowSpectrum(true);
    EXPECT_TRUE(slidersHidden(true));
    SetBox(f, "Log scale", false); // the scale waits while the spectrum shows
    EXPECT_TRUE(slidersHidden(true));
    f.ShowSpectrum(false);
    EXPECT_TRUE(slidersHidden(false));

    // On the linear scale a position between the 6 dB steps snaps, and the slider shows where it
    // went without moving a second time.
    QSlider* s = f.DbSliderWidget(2);
    int moves = 0;
    QObject::connect(s, &QSlider::valueChanged, [&] { ++moves; });
    s->setValue(8);
    EXPECT_EQ(s->value(), 6);
    EXPECT_EQ(moves, 1);
    s->setValue(16);
    EXPECT_EQ(s->value(), 18);
}

// Alt and a letter reach the main controls, each letter once; Tab walks the controls as they are
// placed, row by row from the top and left to right in a row.
TEST_F(MainFormTest, KeyLettersAreDistinctAndTabFollowsTheLayout) {
    TMainForm f(options_);
    std::map<char, std::string> letters;
    for (const QAbstractButton* b : f.findChildren<QAbstractButton*>()) {
        const QString t = b->text();
        const qsizetype at = t.indexOf('&');
        if (at < 0 || at + 1 >= t.size()) continue;
        const char c = char(t[at + 1].toLower().toLatin1());
        EXPECT_EQ(letters.count(c), 0u) << c << ": " << letters[c] << " and " << Plain(b).toStdString();
        letters[c] = Plain(b).toStdString();
    }
    const std::map<char, std::string> named = {{'c', "Connect"},       {'s', "Settings"},
                                               {'h', "Help"},          {'r', "Start record"},
                                               {'p', "Show spectrum"}, {'d', "Show diagram"}};
    for (const auto& [c, caption] : named) {
        EXPECT_EQ(letters[c], caption);
        const QAbstractButton* b = Button(f, QString::fromStdString(caption));
        ASSERT_NE(b, nullptr) << caption;
        // The button takes Alt and its letter as its shortcut.
        EXPECT_EQ(b->shortcut(),
                  QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(Qt::Key_A + (c - 'a')))))
            << caption;
    }

    // Tab from the first control: each control reached lies below the one before it, or in the
    // same row (middles within a few pixels) to its right, until the walk comes back.
    const auto at = [&f](const QWidget* w) { return QRect(w->mapTo(&f, QPoint(0, 0)), w->size()); };
    f.show(); // the layouts place the controls
    QWidget* first = f.ChartSelTagCB[1];
    QWidget* w = first;
    int reached = 0;
    do {
        QWidget* next = w->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisibleTo(&f) || next->window() != &f)
            next = next->nextInFocusChain();
        if (next == first) break;
        const QRect a = at(w), b = at(next);
        const bool sameRow = std::abs(b.center().y() - a.center().y()) <= 6;
        EXPECT_TRUE(sameRow ? b.left() > a.left() : b.center().y() > a.center().y())
            << w->objectName().toStdString() << " at " << a.x() << "," << a.y() << " then "
            << next->metaObject()->className() << " at " << b.x() << "," << b.y();
        w = next;
    } while (++reached < 200);
    EXPECT_GE(reached, 30);
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
    const QAbstractButton* end = Button(f, "End record");
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->shortcut(), QKeySequence(Qt::ALT | Qt::Key_R));
    ASSERT_TRUE(PumpUntil([&] { return f.RecordedSec().toInt() >= 2; }, 10000))
        << f.RecordedSec().toStdString() << " s, " << f.StatusText().toStdString() << ", inconsistent "
        << f.Counter(CounterLabel::InconsistentFrames)->text().toStdString() << ", checksum "
        << f.Counter(CounterLabel::ChecksumErrors)->text().toStdString() << ", frames " << Frames(f);
    // The parse shows its progress rising on the bar under the wait cursor with the button
    // disabled. Batches of frames that arrive meanwhile wait for its end: at the first step the
    // parsing thread is let run a whole round of the frame buffers, so a batch is queued before
    // the parse first lets the window repaint.
    struct Step {
        int percent;
        bool shown, waiting, startEnabled;
        uint64_t drawn;
    };
    std::vector<Step> steps;
    const QProgressBar* bar = f.ProgressBarWidget();
    const FrameHandOff& handOff = f.EngineRef().State().HandOff;
    const auto watch = QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
        const QCursor* c = QApplication::overrideCursor();
        steps.push_back({v, !bar->isHidden(), c && c->shape() == Qt::WaitCursor, end->isEnabled(),
                         f.EngineRef().FramesDrawn()});
        if (steps.size() > 1) return;
        const uint64_t before = handOff.FramesNotDrawn();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (handOff.FramesNotDrawn() < before + kFrameBuffers &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });
    EXPECT_TRUE(bar->isHidden());
    f.StartStopButtonClick(); // End record: parsed into WAV files beside the program
    QObject::disconnect(watch);
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.front().percent, 0);
    EXPECT_GE(steps.back().percent, 90);
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_TRUE(steps[i].shown && steps[i].waiting && !steps[i].startEnabled) << i;
        if (i > 0) {
            EXPECT_GT(steps[i].percent, steps[i - 1].percent) << i;
        }
        EXPECT_EQ(steps[i].drawn, steps.front().drawn) << i;
    }
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const uint64_t parsedAt = steps.back().drawn;
    EXPECT_TRUE(PumpUntil([&] { return f.EngineRef().FramesDrawn() > parsedAt; }, 10000)); // drawn after
    int wavs = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) wavs += e.path().extension() == ".wav";
    EXPECT_GE(wavs, 5) << f.StatusText().toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir_ / "temp.$$$")); // deleted after parsing by default
    // "Open dialog with recorded files" is checked when the file does not say: the browsing copy
    // gets the wildcard of the record's files (base name "" and the time stamp).
    ASSERT_EQ(browser_.wildcards.size(), 1u);
    const std::filesystem::path wildcard(browser_.wildcards[0]);
    EXPECT_EQ(wildcard.parent_path(), dir_);
    const std::string pattern = wildcard.filename().string();
    EXPECT_TRUE(pattern.size() > 3 && pattern.compare(pattern.size() - 3, 3, "*.*") == 0) << pattern;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
        if (e.path().extension() == ".wav") {
            EXPECT_EQ(e.path().filename().string().rfind(pattern.substr(0, pattern.size() - 3), 0), 0u)
                << e.path();
        }

    f.StartStopButtonClick();
    ASSERT_TRUE(PumpUntil([&] { return std::filesystem::exists(dir_ / "temp.$$$"); }, 5000))
        << f.StatusText().toStdString();
    f.ButtonCancelRecClick();
    EXPECT_FALSE(std::filesystem::exists(dir_ / "temp.$$$"));
    EXPECT_EQ(browser_.wildcards.size(), 1u); // a cancelled record is not browsed
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

// The simulator sends its platform in every frame: a sticky text outlasts a hundred of them, and
// after the user's key press the routine texts show again.
TEST_F(MainFormLiveTest, AStickyTextOutlastsTheTargetsInformation) {
    LiveSim sim({});
    ASSERT_FALSE(sim.address.empty());
    std::ofstream(options_.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << sim.address
        << "\r\n  Colour of the sky = blue\r\n";
    TMainForm f(options_);
    ASSERT_TRUE(PumpUntil([&] { return f.StatusText() == Complaint(3); }, 5000))
        << f.StatusText().toStdString();
    f.ConnectButtonClick();
    ASSERT_EQ(Plain(f.ConnectButtonWidget()), "Disconnect");
    Engine& e = f.EngineRef();
    ASSERT_TRUE(PumpUntil([&] { return !e.State().Decoder.StatString().empty(); }, 10000));
    const uint64_t drawn = e.FramesDrawn();
    ASSERT_TRUE(PumpUntil([&] { return e.FramesDrawn() >= drawn + 100; }, 20000)) << e.FramesDrawn();
    EXPECT_EQ(f.StatusText(), Complaint(3)) << f.StatusText().toStdString();
    Press(&f, true);
    // The latest routine text: the platform line, or on a loaded machine a report of a pause.
    EXPECT_TRUE(f.StatusText().startsWith("Platform: General") || f.StatusText() == "TCP/IP error ")
        << f.StatusText().toStdString();
    f.SetStat("Lost sync");
    EXPECT_EQ(f.StatusText(), "Lost sync");
    f.ConnectButtonClick();
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

// The echo figures under the counters: N/A until two seconds of the simulator's stream are
// counted, then its echo path and cancellation as set, and N/A again after Disconnect.
TEST_F(MainFormLiveTest, EchoFiguresShowTheSimulatorsSettings) {
    LiveSim sim({"--no-noise", "--erl-db", "12", "--cancel-db", "25"});
    ASSERT_FALSE(sim.address.empty());
    WriteConfig(sim.address);
    TMainForm f(options_);
    const QString none = "ERL N/A  ERLE N/A  TER N/A  residual N/A  double talk N/A";
    EXPECT_EQ(f.EchoLineText(), none);
    f.ConnectButtonClick();
    const QRegularExpression figures("^ERL (-?[0-9.]+) dB  ERLE (-?[0-9.]+) dB  TER (-?[0-9.]+) dB  "
                                     "residual -?[0-9]+ dBov  double talk [0-9]+ %$");
    QRegularExpressionMatch m;
    ASSERT_TRUE(PumpUntil([&] { return (m = figures.match(f.EchoLineText())).hasMatch(); }, 30000))
        << f.EchoLineText().toStdString() << ", frames " << Frames(f);
    EXPECT_NEAR(m.captured(1).toDouble(), 12.0, 1.0) << f.EchoLineText().toStdString();
    EXPECT_NEAR(m.captured(2).toDouble(), 25.0, 1.0) << f.EchoLineText().toStdString();
    EXPECT_NEAR(m.captured(3).toDouble(), 37.0, 2.0) << f.EchoLineText().toStdString();
    f.ConnectButtonClick(); // disconnect
    EXPECT_EQ(f.EchoLineText(), none);
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
    EXPECT_EQ(Plain(f.ConnectButtonWidget()), "Connect");
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

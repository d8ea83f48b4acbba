// The window thread under the fastest format with the spectrum on: the longest gap between the
// ticks of a 10 ms timer (how long the window thread was ever busy at once), and whether every
// frame arrived. Usage: vintrel_gui_responsiveness HOST:PORT SECONDS (a simulator serving there).
// With --parse FILE instead, the window parses that raw record ("24 Ksps, 1.33ms") offline: the
// longest gap while it runs and the highest value the progress bar showed.
#include "app/MainForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

// A 10 ms timer and the longest gap between its ticks: how long the window thread was busy at
// once. The first `skip` ticks are not counted; `each` sees the time of every tick.
struct TickProbe {
    explicit TickProbe(int skip, std::function<void(qint64)> each = {}) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this, skip, each = std::move(each)] {
            const qint64 now = clock.elapsed();
            if (ticks++ >= skip) worst = std::max(worst, now - last);
            last = now;
            if (each) each(now);
        });
    }
    void Start() {
        clock.start();
        timer.start();
    }
    QElapsedTimer clock;
    QTimer timer;
    qint64 last = 0, worst = 0, ticks = 0;
};

// Parses the record offline from the event loop, answering the protocol question with "Yes" (the
// new protocol), while a 10 ms timer ticks whenever the parse lets the window process events.
int ParseRecord(QApplication& app, vintrel::TMainForm& form, const std::string& file) {
    int highest = -1;
    QObject::connect(form.ProgressBarWidget(), &QProgressBar::valueChanged,
                     [&](int v) { highest = std::max(highest, v); });
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click() : box->accept();
    });
    TickProbe probe(0);
    qint64 parseMs = 0;
    vintrel::ParseOutcome outcome;
    QTimer::singleShot(0, &app, [&] {
        probe.Start();
        outcome = form.EngineRef().Recording().ButtonParseOfflineClick(
            file, false, vintrel::DataStreamFormat::Ksps24Ms1_33);
        parseMs = probe.clock.elapsed();
        app.quit();
    });
    answer.start();
    app.exec();
    std::printf(
        "parse %lld ms, %lld frames, longest gap between 10 ms ticks %lld ms, progress bar reached %d, "
        "hidden after: %s, wait cursor left: %s\n",
        static_cast<long long>(parseMs), static_cast<long long>(outcome.Frames),
        static_cast<long long>(probe.worst), highest, form.ProgressBarWidget()->isHidden() ? "yes" : "no",
        QApplication::overrideCursor() ? "yes" : "no");
    return outcome.Frames > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vintrel_gui_responsiveness HOST:PORT SECONDS | --parse FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / "vintrel-responsiveness";
    std::filesystem::create_directories(dir);
    vintrel::StartOptions o;
    o.RecordingsFolder = o.DumpFolder = dir.string();
    o.SetFName = (dir / "VintrelV4_0.config").string();
    std::ofstream(o.SetFName, std::ios::binary)
        << "  Use *FTDI* ports only = No\r\n  *IPAdrPort* = " << argv[1]
        << "\r\n  Sampling Rate, *Ksps* = 24\r\n  Frame duration, *ms* = 1.333\r\n"
        << "  *FFT_length* for spectrum = 2048\r\n";
    vintrel::TMainForm form(o);
    form.show();
    if (std::string(argv[1]) == "--parse") {
        const int rc = ParseRecord(app, form, argv[2]);
        form.close();
        std::filesystem::remove_all(dir);
        return rc;
    }
    const int seconds = std::atoi(argv[2]);
    form.ShowSpectrum(true);
    form.ConnectButtonClick();

    // Counted after the first second.
    TickProbe probe(101, [&](qint64 now) {
        if (now >= seconds * 1000) app.quit();
    });
    probe.Start();
    app.exec();
    const auto frames = form.Counter(vintrel::CounterLabel::TotalFrames)->text().toULongLong();
    const auto inconsistent = form.Counter(vintrel::CounterLabel::InconsistentFrames)->text().toULongLong();
    const auto notDrawn = form.EngineRef().State().HandOff.FramesNotDrawn();
    std::printf(
        "seconds %d, longest gap between 10 ms ticks %lld ms, frames counted %llu (about %d expected), "
        "inconsistent %llu, frames not drawn %llu\n",
        seconds, static_cast<long long>(probe.worst), static_cast<unsigned long long>(frames), seconds * 750,
        static_cast<unsigned long long>(inconsistent), static_cast<unsigned long long>(notDrawn));
    form.close();
    std::filesystem::remove_all(dir);
    return 0;
}

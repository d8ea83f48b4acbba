// VintrelV4_0: the monitor and recorder with its windows.
#include "app/ConfigFile.h"
#include "app/FileLocations.h"
#include "app/MainForm.h"
#include "app/RecordBrowser.h"
#include "app/SettingsForm.h"
#include "app/SignalCloser.h"
#include "app/StartArguments.h"
#include "app/Version.h"
#include "delay/DelayForm.h"

#include <QApplication>
#include <QIcon>
#include <QProcess>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    using vintrel::StartArguments;
    // --help, --version and a wrong option are answered without a display.
    const StartArguments early = vintrel::ParseStartArguments({argv + 1, argv + argc});
    switch (early.action) {
    case StartArguments::Action::Help:
        std::fputs(vintrel::StartUsage().c_str(), stdout);
        return 0;
    case StartArguments::Action::Version:
        std::printf("vintrel %s\n", vintrel::ProjectVersion());
        return 0;
    case StartArguments::Action::Error:
        std::fprintf(stderr, "vintrel: %s\n%s", early.error.c_str(), vintrel::StartUsage().c_str());
        return 2;
    default:
        break;
    }
    QApplication app(argc, argv);
    app.setApplicationName(vintrel::kAppTitle);
    // Every window carries the program's icon, in the sizes the desktop installs.
    QIcon icon;
    for (const int px : {48, 128, 256}) icon.addFile(QString(":/icons/vintrel-%1.png").arg(px));
    app.setWindowIcon(icon);
    // Read again without the options Qt took for itself ("-platform NAME", "-display D", ...).
    const StartArguments a = vintrel::ParseStartArguments({argv + 1, argv + argc});
    if (a.action == StartArguments::Action::Browse)
        return vintrel::OpenFiles(QString::fromLocal8Bit(a.browseWildcard.c_str()));
    vintrel::StartOptions o;
    o.DUMP2FILE = a.dump;
    o.MARK_BE = a.markBigEndian;
    vintrel::LocationInputs where =
        vintrel::SystemLocationInputs(QCoreApplication::applicationDirPath().toStdString());
    where.DocumentsFolder = [] {
        QProcess p;
        p.start("xdg-user-dir", {"DOCUMENTS"});
        const bool ran =
            p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        return ran ? QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed().toStdString()
                   : std::string();
    };
    const vintrel::FileLocations files = vintrel::FindFileLocations(where);
    o.RecordingsFolder = files.RecordingsFolder;
    o.DumpFolder = files.DumpFolder;
    o.SetFName = files.ConfigFile;
    if (!a.configFile.empty()) o.SetFName = a.configFile;
    vintrel::TMainForm form(o);
    if (form.MustTerminate()) return 1;
    new vintrel::SignalCloser(&form);
    // For the documentation's screenshots: VINTREL_WINDOW_SIZE=WxH sizes the main window,
    // VINTREL_SHOW_SPECTRUM checks "Show spectrum",
    // VINTREL_AUTOCONNECT connects at start (and opens the delay window when set to "all");
    // VINTREL_SCREENSHOT=FILE:MS saves the main
    // window (and FILE with "-delay" for the delay window, with "-settings" for the settings
    // dialog when VINTREL_SHOT_SETTINGS is set) after MS milliseconds and quits.
    const QStringList size = qEnvironmentVariable("VINTREL_WINDOW_SIZE").split('x');
    if (size.size() == 2) form.resize(size[0].toInt(), size[1].toInt());
    form.show();
    if (qEnvironmentVariableIsSet("VINTREL_SHOW_SPECTRUM")) form.ShowSpectrum(true);
    const QString autoConnect = qEnvironmentVariable("VINTREL_AUTOCONNECT");
    if (!autoConnect.isEmpty())
        QTimer::singleShot(500, &form, [&form, autoConnect] {
            form.ConnectButtonClick();
            if (autoConnect == "all") QTimer::singleShot(1500, &form, [&form] { form.DiagramButtonClick(); });
        });
    const QString shot = qEnvironmentVariable("VINTREL_SCREENSHOT");
    if (!shot.isEmpty()) {
        const int colon = shot.lastIndexOf(':');
        const QString file = shot.left(colon);
        const int ms = colon > 0 ? shot.mid(colon + 1).toInt() : 5000;
        QTimer::singleShot(ms, &form, [&form, file] {
            form.grab().save(file);
            if (form.DelayWindow().isVisible()) {
                QString delayFile = file;
                delayFile.insert(delayFile.lastIndexOf('.'), "-delay");
                form.DelayWindow().grab().save(delayFile);
            }
            if (qEnvironmentVariableIsSet("VINTREL_SHOT_SETTINGS")) {
                QString settingsFile = file;
                settingsFile.insert(settingsFile.lastIndexOf('.'), "-settings");
                form.Settings().grab().save(settingsFile);
            }
            form.close();
        });
    }
    return app.exec();
}

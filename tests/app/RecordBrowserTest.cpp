// The browsing copy's dialog and the launcher that keeps at most one copy running.
#include "app/RecordBrowser.h"
#include "../monitor/QtTestApp.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <thread>

namespace vintrel {

TEST(RecordBrowser, DialogListsTheRecordWithTheWholeArgumentInTheNameBox) {
    test::QtApp();
    const QString folder = QDir(QDir::tempPath()).canonicalPath();
    const QString arg = folder + "/base_20240131_142501_073*.*";
    const std::unique_ptr<QFileDialog> d = RecordedFilesDialog(arg);
    EXPECT_EQ(d->windowTitle(), "Open recorded files");
    EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(d->nameFilters(),
              QStringList({"Recent record: base_20240131_142501_073*.* (base_20240131_142501_073*.*)",
                           "All files (*.*)"}));
    EXPECT_EQ(d->directory().absolutePath(), folder);
    const auto* name = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), arg);
}

// The copy gets the wildcard as --browse's value: a folder holding "-d" must not make it a
// debug-dump main window.
TEST(RecordBrowser, ProcessLauncherEndsTheRunningCopyBeforeTheNext) {
    test::QtApp();
    // A stand-in for the program: it notes its arguments and waits.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath("copy.sh");
    {
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\nprintf '%s|' \"$@\" >\"$0.tmp\" && mv \"$0.tmp\" \"$0.args\"\nexec sleep 60\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ProcessBrowserLauncher launcher;
    EXPECT_EQ(launcher.ProcessId(), 0);
    launcher.Start(program, "/rec/my-dumps/base*.*");
    const qint64 first = launcher.ProcessId();
    ASSERT_GT(first, 0);
    QFile args(program + ".args");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!args.exists() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().toStdString(), "--browse|/rec/my-dumps/base*.*|");
    launcher.Start(program, "/rec/other*.*");
    const qint64 second = launcher.ProcessId();
    ASSERT_GT(second, 0);
    EXPECT_NE(second, first);
    // The first copy has ended and was waited for: its id names no process of ours any more.
    EXPECT_NE(::kill(pid_t(first), 0), 0);
    launcher.Stop();
    EXPECT_EQ(launcher.ProcessId(), 0);
    EXPECT_NE(::kill(pid_t(second), 0), 0);
}

} // namespace vintrel

// The browsing copy's dialog and the launcher that keeps at most one copy running.
#include "app/RecordBrowser.h"
#include "../monitor/QtTestApp.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

#include <csignal>

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

TEST(RecordBrowser, ProcessLauncherEndsTheRunningCopyBeforeTheNext) {
    test::QtApp();
    ProcessBrowserLauncher launcher;
    EXPECT_EQ(launcher.ProcessId(), 0);
    launcher.Start("/bin/sleep", "60");
    const qint64 first = launcher.ProcessId();
    ASSERT_GT(first, 0);
    launcher.Start("/bin/sleep", "60");
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

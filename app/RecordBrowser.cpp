#include "app/RecordBrowser.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QUrl>

namespace vintrel {

ProcessBrowserLauncher::ProcessBrowserLauncher() = default;

ProcessBrowserLauncher::~ProcessBrowserLauncher() {
    Stop();
}

void ProcessBrowserLauncher::Start(const QString& program, const QString& wildcard) {
    Stop(); // at most one browsing copy: the previous one ends before the new one starts
    process_ = std::make_unique<QProcess>();
    // As an option, so that a folder name holding "-d" cannot make the copy a debug-dump window.
    process_->start(program, {"--browse", wildcard});
    process_->waitForStarted(3000);
}

void ProcessBrowserLauncher::Stop() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

qint64 ProcessBrowserLauncher::ProcessId() const {
    return process_ && process_->state() != QProcess::NotRunning ? process_->processId() : 0;
}

std::unique_ptr<QFileDialog> RecordedFilesDialog(const QString& FName, QWidget* parent) {
    const QFileInfo info(FName);
    const QString pattern = info.fileName();
    auto dialog =
        std::make_unique<QFileDialog>(parent, "Open recorded files", info.absolutePath() + "/",
                                      "Recent record: " + pattern + " (" + pattern + ");;All files (*.*)");
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // A native dialog receives the whole argument as its selection; the dialog's own name box
    // would show only the part after the folder, so it is given the whole argument too.
    dialog->selectFile(FName);
    if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(FName);
    return dialog;
}

int OpenFiles(const QString& FName) {
    const std::unique_ptr<QFileDialog> dialog = RecordedFilesDialog(FName);
    if (dialog->exec() != QDialog::Accepted) return 0;
    for (const QString& f : dialog->selectedFiles()) QDesktopServices::openUrl(QUrl::fromLocalFile(f));
    return 0;
}

} // namespace vintrel

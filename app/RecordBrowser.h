#pragma once
// Browsing a finished recording: the main window hands the wildcard of the record's files to a
// second copy of the program, whose only work is a file dialog listing them.
#include <QString>

#include <memory>

class QFileDialog;
class QProcess;
class QWidget;

namespace vintrel {

// Starts and ends the browsing copy. The main window keeps at most one running: Start ends a
// previous copy first, Stop ends a running one (the window calls it when it is destroyed).
class RecordBrowserLauncher {
public:
    virtual ~RecordBrowserLauncher() = default;
    virtual void Start(const QString& program, const QString& wildcard) = 0;
    virtual void Stop() = 0;
};

// The browsing copy as a child process of the program, started as "PROGRAM --browse WILDCARD".
class ProcessBrowserLauncher : public RecordBrowserLauncher {
public:
    ProcessBrowserLauncher();
    ~ProcessBrowserLauncher() override;
    void Start(const QString& program, const QString& wildcard) override;
    void Stop() override;
    // The running copy's process id, 0 when none runs.
    qint64 ProcessId() const;

private:
    std::unique_ptr<QProcess> process_;
};

// The browsing copy's dialog for the wildcard path FName, not yet shown: multiple selection,
// the record's files as the first filter, the name box preset to the whole argument.
std::unique_ptr<QFileDialog> RecordedFilesDialog(const QString& FName, QWidget* parent = nullptr);

// The browsing copy's whole work: shows the dialog and opens each file picked with the
// desktop's application for it. Returns the program's exit code.
int OpenFiles(const QString& FName);

} // namespace vintrel

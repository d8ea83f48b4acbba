#pragma once
// SIGTERM and SIGINT close a window as its close button does (its closeEvent runs, so the main
// window writes its configuration). The handler only writes a byte into a pipe; the window
// thread reads it through a socket notifier and closes the window there.
#include <QObject>

class QSocketNotifier;
class QWidget;

namespace vintrel {

// At most one lives at a time: it owns the process's handlers of the two signals and gives them
// back to the default action when it is destroyed.
class SignalCloser : public QObject {
    Q_OBJECT
public:
    explicit SignalCloser(QWidget* window);
    ~SignalCloser() override;

private:
    void SignalArrived();

    QWidget* window_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vintrel

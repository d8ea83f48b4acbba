#include "app/SignalCloser.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vintrel {

namespace {

// The pipe's ends: [0] read by the window thread, [1] written by the handler. Set before the
// handlers are installed and closed after they are taken away again.
int pipeEnds[2] = {-1, -1};

constexpr int kSignals[] = {SIGTERM, SIGINT};

// Async-signal-safe: one write to a non-blocking pipe (a full pipe already holds a wake-up).
extern "C" void OnCloseSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

void SetHandler(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals) ::sigaction(s, &sa, nullptr);
}

} // namespace

SignalCloser::SignalCloser(QWidget* window) : QObject(window), window_(window) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeEnds[0] = pipeEnds[1] = -1;
        return; // the signals keep their default action
    }
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalCloser::SignalArrived);
    SetHandler(OnCloseSignal);
}

SignalCloser::~SignalCloser() {
    if (!notifier_) return;
    SetHandler(SIG_DFL);
    delete notifier_;
    for (int& end : pipeEnds) {
        ::close(end);
        end = -1;
    }
}

void SignalCloser::SignalArrived() {
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    window_->close();
}

} // namespace vintrel

#include "QtTestApp.h"

#include <QApplication>
#include <QByteArray>

namespace vintrel::test {

QGuiApplication& QtApp() {
    static int argc = 1;
    static char name[] = "vintrel_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = []() -> QGuiApplication* {
        // Another suite may have made the application object already (a QApplication is one too).
        if (auto* existing = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return existing;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        // A QApplication, so that the window tests of the same executable can run in any order.
        return new QApplication(argc, argv); // lives until the process ends
    }();
    return *app;
}

} // namespace vintrel::test

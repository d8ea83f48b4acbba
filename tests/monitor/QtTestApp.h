#pragma once
// The one application object of the test executable (a QApplication), created on first use on the offscreen
// platform, so that chart text and pixel tests need no display.
#include <QGuiApplication>

namespace vintrel::test {

QGuiApplication& QtApp();

} // namespace vintrel::test

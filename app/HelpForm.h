#pragma once
// "Tesmaro Sondrel Help": the user manual, carried inside the program, under a line naming the
// program's version.
#include <QDialog>

class QLabel;
class QTextBrowser;

namespace vintrel {

class THelpForm : public QDialog {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return browser_; }
    QLabel* VersionLabel() const { return version_; }

private:
    QLabel* version_;
    QTextBrowser* browser_;
};

} // namespace vintrel

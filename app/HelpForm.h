#pragma once
// "Tesmaro Sondrel Help": the user manual, carried inside the program.
#include <QDialog>

class QTextBrowser;

namespace vintrel {

class THelpForm : public QDialog {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

} // namespace vintrel

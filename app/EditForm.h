#pragma once
// "History": the program's version history in a small window.
#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

namespace vintrel {

// The 32 entries of the version history; the first 13 are filled.
extern const char* const HistoryStrings[32];

class TEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditForm(QWidget* parent = nullptr);
    // Fills the memo with the non-empty entries and shows the window.
    void HistoryButtonClick();
    QPlainTextEdit* Memo() const { return Memo1; }

private:
    QLineEdit* Edit;
    QPlainTextEdit* Memo1;
};

} // namespace vintrel

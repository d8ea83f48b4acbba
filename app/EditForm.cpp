#include "app/EditForm.h"
#include "app/WindowPlacement.h"

#include <QFont>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace vintrel {

const char* const HistoryStrings[32] = {
    "27   :    flexible monitored parameters set; based on v5.26n",
    "27a  :    8ksps16ms, 16ksps16ms frame formats added",
    "27b  :    1)file parsing in case of 16ms frame - fixed; 2) reducing win messages leading to graph delay",
    "27c  :    fix spectrum for packed win messages",
    "27d  :    1) select plotted channels on the fly 2) com.line arg -dbe : in the dump file, mark "
    "begins-ends of each receive",
    "27e  :    1) selected channels are saved in settings file, restored on next Vintrel session; ",
    "          2) selected channels can be locked by a special setting in settings file",
    "27f  :    bug fix for old protocol sel.channels taken from settings file",
    "27g  :    bug fix in big endian",
    "27h  :    UF added in old protocol (plotted on MIPS)",
    "27i  :    24 ksps 1.33 ms option added",
    "27j  :    1)Parsing thread fixed to do more than 1 frame at a time; 2)Delay plotting fixed; 3)file "
    "parser error handling fixed",
    "27k  :    24 ksps, 2.67 ms/frame",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
};

TEditForm::TEditForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("History");
    Edit = new QLineEdit(this);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    QFont mono("Courier New");
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(13);
    Memo1->setFont(mono);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void TEditForm::HistoryButtonClick() {
    hide();
    Memo1->clear();
    int n = 0;
    for (const char* entry : HistoryStrings) {
        if (!*entry) continue;
        Memo1->appendPlainText(entry);
        ++n;
    }
    setFixedSize(800, (n + 1) * 25);
    Edit->move(2, 2);
    Edit->clear();
    Edit->hide();
    Memo1->setGeometry(0, 0, 800, (n + 1) * 25);
    Memo1->show();
    if (QWidget* main = parentWidget()) PlaceOnScreen(*this, CentredOn(*this, *main), *main);
    show();
}

} // namespace vintrel

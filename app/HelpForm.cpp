#include "app/HelpForm.h"
#include "app/Version.h"

#include <QFile>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

// The manual lives in a resource of a static library: it must be registered by name.
static void InitManualResource() {
    Q_INIT_RESOURCE(vintrel);
}

namespace vintrel {

THelpForm::THelpForm(QWidget* parent) : QDialog(parent) {
    InitManualResource();
    setWindowTitle("Tesmaro Sondrel Help");
    resize(803, 675);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    version_ = new QLabel(QString("Vintrel version ") + ProjectVersion(), this);
    version_->setContentsMargins(6, 4, 6, 4);
    version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(version_);
    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(false);
    layout->addWidget(browser_);
    QFile manual(":/help/manual.html");
    if (manual.open(QIODevice::ReadOnly)) browser_->setHtml(QString::fromUtf8(manual.readAll()));
}

} // namespace vintrel

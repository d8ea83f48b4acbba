// The panels that open over the main window (the diagnosis panel, the "More" panel) and the
// profile details that take the statistics' place.
#include "app/MainForm.h"

#include "app/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace vintrel {

namespace {
// The memo keeps at least this many pixels of its height when the screen has no room left.
constexpr int kLeastMemoHeight = 120;
} // namespace

QLabel* TMainForm::Counter(CounterLabel which) const {
    return counters_[size_t(which)];
}

void TMainForm::CreateDiagPanel() {
    RecordDiagPanel = new QFrame(this);
    RecordDiagPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RecordDiagPanel->setAutoFillBackground(true);
    RecordDiagPanel->setMinimumSize(233, 100);
    LabelDiagPanel = new QLabel("The recording is damaged:", RecordDiagPanel);
    LabelDiagPanel->setStyleSheet("color: red; font-weight: bold; font-size: 17px");
    ButtonCloseDiagPanel = new QPushButton("Close", RecordDiagPanel);
    static const char* const kDiag[] = {
        "Inconsistencies (fragments):", "Checksum errors (if verified):", "Total frames:"};
    QLineEdit** edits[] = {&EditFragments, &EditCSerrors, &EditTotalFrames};
    diagLayout_ = new QGridLayout(RecordDiagPanel);
    diagLayout_->setContentsMargins(6, 2, 6, 6);
    diagLayout_->setSpacing(2);
    for (int i = 0; i < 3; ++i) {
        diagLabels_[size_t(i)] = new QLabel(kDiag[i], RecordDiagPanel);
        diagLayout_->addWidget(diagLabels_[size_t(i)], 1 + i, 0);
        *edits[i] = new QLineEdit(RecordDiagPanel);
        (*edits[i])->setReadOnly(true);
        (*edits[i])->setMinimumWidth(60);
    }
    diagLayout_->addWidget(EditCSerrors, 2, 1, 1, 2);
    diagLayout_->addWidget(EditTotalFrames, 3, 1, 1, 2);
    RecordDiagPanel->hide();
}

void TMainForm::ShowRecordDiagPanel(bool IsRecord) {
    LabelDiagPanel->setText(IsRecord ? "The recording is damaged:" : "TCP/IP error:");
    for (QLabel* l : diagLabels_) l->setVisible(IsRecord);
    EditCSerrors->setVisible(IsRecord);
    EditTotalFrames->setVisible(IsRecord);
    // The record form: the title with "Close" beside it, the three values below. The TCP/IP error
    // form: the title, the error text across the panel, the button under it on the right.
    for (QWidget* w : {static_cast<QWidget*>(LabelDiagPanel), static_cast<QWidget*>(EditFragments),
                       static_cast<QWidget*>(ButtonCloseDiagPanel)})
        diagLayout_->removeWidget(w);
    if (IsRecord) {
        diagLayout_->addWidget(LabelDiagPanel, 0, 0, 1, 2);
        diagLayout_->addWidget(ButtonCloseDiagPanel, 0, 2);
        diagLayout_->addWidget(EditFragments, 1, 1, 1, 2);
        ButtonCloseDiagPanel->setText("Close");
    } else {
        diagLayout_->addWidget(LabelDiagPanel, 0, 0, 1, 3);
        diagLayout_->addWidget(EditFragments, 1, 0, 1, 3);
        diagLayout_->addWidget(ButtonCloseDiagPanel, 2, 0, 1, 3, Qt::AlignRight);
        ButtonCloseDiagPanel->setText("Cancel Retrying and close");
    }
    EditFragments->setMinimumWidth(IsRecord ? 60 : 210);
    RecordDiagPanel->adjustSize();
    // Above the statistics (or the details in their place), at the window's left.
    const QWidget* below = statistics_->isHidden() ? DetailsMemo : statistics_;
    RecordDiagPanel->move(10, std::max(0, below->y() - 4 - RecordDiagPanel->height()));
    RecordDiagPanel->show();
    RecordDiagPanel->raise();
}

void TMainForm::CreateMorePanel() {
    MorePanel = new QFrame(this);
    MorePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    MorePanel->setAutoFillBackground(true);
    auto* voice = new QGroupBox(" Voice detection ", MorePanel);
    RadioButtonVAD = new QRadioButton("VAD", voice);
    RadioButtonND = new QRadioButton("ND", voice);
    RadioButtonND->setChecked(true);
    auto* voiceRow = new QHBoxLayout(voice);
    voiceRow->addWidget(RadioButtonVAD);
    voiceRow->addWidget(RadioButtonND);
    ComboBoxVadThr = new QComboBox(MorePanel);
    for (int i = 0; i <= 20; ++i) ComboBoxVadThr->addItem(QString::number(i * 0.05, 'f', 2));
    ComboBoxVadThr->setCurrentIndex(10);
    auto* features = new QGroupBox("Plotting features", MorePanel);
    VPurpleCheckBox = new QCheckBox("Paint voiced frames", features);
    VPurpleCheckBox->setChecked(true);
    NRedCheckBox = new QCheckBox("Plot noise level", features);
    VolGreenCheckBox = new QCheckBox("Plot RXout volume", features);
    VolGreenCheckBox->setChecked(true);
    auto* featureRows = new QVBoxLayout(features);
    featureRows->setSpacing(0);
    for (QWidget* w : {VPurpleCheckBox, NRedCheckBox, VolGreenCheckBox}) featureRows->addWidget(w);
    auto* close = new QPushButton("Close", MorePanel);
    connect(close, &QPushButton::clicked, MorePanel, &QWidget::hide);

    auto* g = new QGridLayout(MorePanel);
    g->setContentsMargins(6, 4, 6, 6);
    g->addWidget(voice, 0, 0);
    auto* threshold = new QVBoxLayout;
    threshold->addWidget(new QLabel("VAD threshold", MorePanel));
    threshold->addWidget(ComboBoxVadThr);
    g->addLayout(threshold, 0, 1, Qt::AlignTop);
    g->addWidget(features, 1, 0);
    g->addWidget(close, 1, 1, Qt::AlignRight | Qt::AlignBottom);
    MorePanel->setMinimumSize(260, 150);
    MorePanel->adjustSize();
    MorePanel->hide();
}

void TMainForm::MoreVisSetButtonClick() {
    // Bottom-right corner on the group's bottom-right corner, kept inside the window.
    QWidget* group = MoreVisSetButton->parentWidget();
    QPoint corner = group->geometry().bottomRight();
    int left = corner.x() - MorePanel->width() + 1, top = corner.y() - MorePanel->height() + 1;
    if (top + MorePanel->height() > height()) top -= top + MorePanel->height() - height();
    if (left + MorePanel->width() > width()) left -= left + MorePanel->width() - width();
    MorePanel->move(std::max(0, left), std::max(0, top));
    MorePanel->show();
    MorePanel->raise();
}

void TMainForm::ShowDetails() {
    ProfileDisplay& p = engine_->Recording().Profile();
    p.PskButtonClick(engine_->State().Ring.ProtocolType());
    PskButton->setText(QString::fromStdString(p.ButtonCaption()));
    if (p.DetailsShown())
        ShowDetailsMemo(p.Details());
    else
        HideDetailsMemo();
}

void TMainForm::ShowDetailsMemo(const ProfileDetails& details) {
    QStringList lines;
    for (const std::string& l : details.Lines) lines << QString::fromStdString(l);
    DetailsMemo->setPlainText(lines.join('\n'));
    if (DetailsMemo->isVisible()) return; // refreshed in place
    // The window grows by the memo's height as far as its screen allows; the memo scrolls beyond.
    const QScreen* screen = this->screen();
    const int frame = frameGeometry().height() - height();
    const int room = screen ? screen->availableGeometry().height() - frame - height() : details.MemoHeight;
    const int memo = std::min(details.MemoHeight, std::max(room, kLeastMemoHeight));
    DetailsMemo->setFixedHeight(memo + statistics_->height());
    statistics_->hide();
    DetailsMemo->show();
    // Where even the least memo does not fit, the charts give up the rest.
    detailsGrowth_ = std::min(memo, std::max(room, 0));
    resize(width(), height() + detailsGrowth_);
    if (screen) PlaceOnScreen(*this, frameGeometry().topLeft(), *this);
}

void TMainForm::HideDetailsMemo() {
    if (DetailsMemo->isHidden()) return;
    DetailsMemo->hide();
    statistics_->show();
    resize(width(), height() - detailsGrowth_);
    detailsGrowth_ = 0;
}

} // namespace vintrel

// The main window's controls and where they sit.
#include "app/MainForm.h"

#include "app/ChartCanvas.h"

#include "app/EditForm.h"
#include "app/HelpForm.h"
#include "app/SettingsForm.h"
#include "app/WindowPlacement.h"
#include "delay/DelayForm.h"
#include "monitor/ChartLabels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolTip>

#include <utility>
#include <vector>

namespace vintrel {

void ChartCanvas::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    const int k = TMainForm::ChartAt(at.x(), at.y());
    if (k) form_.ShowChartText(k, true, e->globalPosition().toPoint());
}

void ChartCanvas::contextMenuEvent(QContextMenuEvent* e) {
    const int k = TMainForm::ChartAt(e->pos().x(), e->pos().y());
    if (k >= 1 && k <= 5) form_.ShowChartText(k, false, e->globalPos());
}

int TMainForm::ChartAt(int x, int y) {
    int hit = 0;
    for (int k = 1; k <= 6; ++k)
        if (Chart_XY[size_t(k)].X <= x && x <= Chart_XY[size_t(k)].X + 130 && Chart_XY[size_t(k)].Y <= y &&
            y <= Chart_XY[size_t(k)].Y + 130)
            hit = k; // the highest chart wins
    return hit;
}

void TMainForm::CreateControls() {
    setFixedSize(ChartPanel::kCanvasWidth + 10, 730);
    chartCanvas_ = new ChartCanvas(*this, canvas_, this);
    chartCanvas_->move(0, 0);

    for (int k = 1; k <= 5; ++k) {
        const int X = Chart_XY[size_t(k)].X, Y = Chart_XY[size_t(k)].Y;
        auto* b = new QPushButton("Play", this);
        b->setGeometry(X + 110, Y - 22 - 6, 28, 22);
        b->setEnabled(false);
        connect(b, &QPushButton::clicked, this, [this, k] { ChannelButtonClick(k); });
        ChartSoundButton[size_t(k)] = b;
        auto* cb = new QComboBox(this);
        cb->setGeometry(X, Y - 22 - 6 + 3 - 3, 108, 22);
        connect(cb, &QComboBox::activated, this, [this, k] { TagSelect(k); });
        connect(cb, &QComboBox::currentTextChanged, this, [this, k] { PlayTooltip(k); });
        ChartSelTagCB[size_t(k)] = cb;
        auto* snr = new QLabel(this);
        snr->setGeometry(X, Y + 152, 130, 16);
        SNRlabels[size_t(k)] = snr;
        auto* slider = new QSlider(Qt::Vertical, this);
        slider->setRange(0, 48);
        slider->setInvertedAppearance(true);
        connect(slider, &QSlider::valueChanged, this, [this, k](int v) {
            panel_->DbSliders[size_t(k)].Position = v;
            panel_->Chart(k).DbSliderChange();
            chartCanvas_->update();
        });
        DbMinSliders[size_t(k)] = slider;
    }
    SNRlabels[6] = new QLabel("MIPS unavailable", this);
    SNRlabels[6]->setGeometry(Chart_XY[6].X, Chart_XY[6].Y + 134, 180, 16);

    int y = 442;
    ConnectButton = new QPushButton("&Connect", this);
    ConnectButton->setGeometry(10, y, 90, 26);
    SettingsButton = new QPushButton("&Settings", this);
    SettingsButton->setGeometry(105, y, 80, 26);
    HelpButton = new QPushButton("&Help", this);
    HelpButton->setGeometry(190, y, 60, 26);
    HistoryButton = new QPushButton("History", this);
    HistoryButton->setGeometry(255, y, 70, 26);
    PskButton = new QPushButton("Show Details", this);
    PskButton->setGeometry(330, y, 110, 26);
    PskButton->hide();

    y += 32;
    auto* maxLabel = new QLabel("Max time, sec", this);
    maxLabel->setGeometry(10, y, 90, 24);
    TotalLabeledEdit = new QLineEdit("999", this);
    TotalLabeledEdit->setGeometry(100, y, 40, 24);
    StartStopButton = new QPushButton("Start &record", this);
    StartStopButton->setGeometry(145, y, 95, 24);
    StartStopButton->setEnabled(false);
    ButtonCancelRec = new QPushButton("Cancel record", this);
    ButtonCancelRec->setGeometry(245, y, 95, 24);
    ButtonCancelRec->setEnabled(false);
    auto* passedLabel = new QLabel("Recorded, sec", this);
    passedLabel->setGeometry(345, y, 90, 24);
    PassedLabeledEdit = new QLineEdit("0", this);
    PassedLabeledEdit->setReadOnly(true);
    PassedLabeledEdit->setGeometry(435, y, 50, 24);
    y += 28;
    CheckBoxShowFiles = new QCheckBox("Open dialog with recorded files", this);
    CheckBoxShowFiles->setGeometry(10, y, 220, 22);
    CheckBoxShowFiles->setChecked(true);
    ButtonParseOffline = new QPushButton("Parse Offline (expert)", this);
    ButtonParseOffline->setGeometry(245, y, 150, 24);

    y += 30;
    auto* vis = new QGroupBox("Waveform monitor settings", this);
    vis->setGeometry(5, y, 570, 78);
    auto* fast = new QLabel("fast", vis);
    fast->setGeometry(8, 20, 26, 20);
    RateTrackBar = new QSlider(Qt::Horizontal, vis);
    RateTrackBar->setRange(1, 7);
    RateTrackBar->setValue(4);
    RateTrackBar->setGeometry(34, 20, 90, 20);
    auto* slow = new QLabel("slow", vis);
    slow->setGeometry(126, 20, 30, 20);
    DbCheckBox = new QCheckBox("Log scale", vis);
    DbCheckBox->setChecked(true);
    DbCheckBox->setGeometry(160, 20, 80, 20);
    MoreVisSetButton = new QPushButton("More", vis);
    MoreVisSetButton->setGeometry(245, 18, 50, 24);
    CheckBoxSpectrum = new QCheckBox("Show s&pectrum", vis);
    CheckBoxSpectrum->setGeometry(8, 48, 112, 20);
    ComboBoxFFT = new QComboBox(vis);
    ComboBoxFFT->addItems({"256", "512", "1024", "2048"});
    ComboBoxFFT->setGeometry(120, 46, 70, 22);
    TrackBarSpecMax = new QSlider(Qt::Horizontal, vis);
    TrackBarSpecMax->setRange(0, 80);
    TrackBarSpecMax->setValue(56);
    TrackBarSpecMax->setGeometry(200, 48, 90, 20);
    LabelSpectRange = new QLabel("96 dB", vis);
    LabelSpectRange->setGeometry(292, 48, 50, 20);
    auto* energy = new QLabel("Energy scale =", vis);
    energy->setGeometry(345, 48, 90, 20);
    TrackBarEnergyScale = new QSlider(Qt::Horizontal, vis);
    TrackBarEnergyScale->setRange(0, 96);
    TrackBarEnergyScale->setGeometry(430, 48, 80, 20);
    LabelEnergyScale = new QLabel("0 dB", vis);
    LabelEnergyScale->setGeometry(512, 48, 50, 20);

    auto* delay = new QGroupBox(" Delay (RXout -> TXin) analysis", this);
    delay->setGeometry(300, y - 2, 275, 44);
    delay->hide(); // placed below, in its own row
    y += 82;
    delay->setGeometry(5, y, 570, 44);
    delay->show();
    auto* maxDelay = new QLabel("Max delay, ms", delay);
    maxDelay->setGeometry(8, 18, 90, 20);
    MaxDelayComboBox = new QComboBox(delay);
    MaxDelayComboBox->addItems({"1000", "2000", "4000"});
    MaxDelayComboBox->setCurrentIndex(1);
    MaxDelayComboBox->setGeometry(100, 16, 70, 22);
    DiagramButton = new QPushButton("Show &diagram", delay);
    DiagramButton->setGeometry(180, 15, 100, 24);

    y += 50;
    // Three columns: the stream's counters in the first two, the link's in the third, so that
    // "Link drops:" stands beside "Inconsistent frames:".
    static const char* const kCounterCaptions[] = {
        "Total frames:",        "Total time, sec:", "Checksum errors:",
        "Inconsistent frames:", "Reconnects:",      "Link drops:"};
    static constexpr int kCaptionWidth[] = {115, 132, 80}, kValueWidth[] = {70, 53, 100};
    QLabel** link[] = {&reconnectsLabel_, &linkDropsLabel_};
    for (int i = 0; i < 6; ++i) {
        const int column = i < 4 ? i % 2 : 2, row = i < 4 ? i / 2 : i - 4;
        const int cx = 10 + column * 190, cy = y + row * 20;
        auto* caption = new QLabel(kCounterCaptions[i], this);
        caption->setGeometry(cx, cy, kCaptionWidth[column], 20);
        auto* value = new QLabel("0", this);
        value->setGeometry(cx + kCaptionWidth[column], cy, kValueWidth[column], 20);
        if (i < 4)
            counters_[size_t(i)] = value;
        else
            *link[i - 4] = value;
    }

    LabelStat = new QLabel("Not connected", this);
    LabelStat->setGeometry(10, height() - 24, width() - 20, 20);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setGeometry(width() - 230, height() - 24, 220, 20);
    ProgressBar1->hide();
    // Between the charts and the buttons, away from the status line, which does not overwrite it;
    // it stays until the next Connect.
    FormatWarningLabel = new QLabel(this);
    FormatWarningLabel->setGeometry(10, ConnectButton->y() - 50, width() - 20, 46);
    FormatWarningLabel->setWordWrap(true);
    FormatWarningLabel->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    FormatWarningLabel->setStyleSheet("color: red; font-weight: bold");
    FormatWarningLabel->hide();

    WarningPanel = new QFrame(this);
    WarningPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    WarningPanel->setGeometry(200, 200, 180, 40);
    WarningPanel->setAutoFillBackground(true);
    WarningLabel = new QLabel("No signal", WarningPanel);
    WarningLabel->setGeometry(4, 4, 172, 32);
    WarningLabel->setAlignment(Qt::AlignCenter);
    WarningLabel->setStyleSheet("color: red; font-weight: bold; font-size: 17px");
    WarningPanel->hide();

    RecordDiagPanel = new QFrame(this);
    RecordDiagPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    RecordDiagPanel->setGeometry(10, y - 104, 233, 100);
    RecordDiagPanel->setAutoFillBackground(true);
    LabelDiagPanel = new QLabel("The recording is damaged:", RecordDiagPanel);
    LabelDiagPanel->setGeometry(6, 2, 220, 20);
    LabelDiagPanel->setStyleSheet("color: red; font-weight: bold; font-size: 17px");
    static const char* const kDiag[] = {
        "Inconsistencies (fragments):", "Checksum errors (if verified):", "Total frames:"};
    QLineEdit** edits[] = {&EditFragments, &EditCSerrors, &EditTotalFrames};
    for (int i = 0; i < 3; ++i) {
        diagLabels_[size_t(i)] = new QLabel(kDiag[i], RecordDiagPanel);
        diagLabels_[size_t(i)]->setGeometry(6, 24 + i * 22, 150, 20);
        *edits[i] = new QLineEdit(RecordDiagPanel);
        (*edits[i])->setReadOnly(true);
        (*edits[i])->setGeometry(160, 24 + i * 22, 60, 20);
    }
    ButtonCloseDiagPanel = new QPushButton("Close", RecordDiagPanel);
    ButtonCloseDiagPanel->setGeometry(192, 2, 35, 20);
    RecordDiagPanel->hide();

    MorePanel = new QFrame(this);
    MorePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    MorePanel->setAutoFillBackground(true);
    MorePanel->setFixedSize(260, 150);
    auto* voice = new QGroupBox(" Voice detection ", MorePanel);
    voice->setGeometry(6, 4, 120, 60);
    RadioButtonVAD = new QRadioButton("VAD", voice);
    RadioButtonVAD->setGeometry(8, 18, 50, 20);
    RadioButtonND = new QRadioButton("ND", voice);
    RadioButtonND->setGeometry(60, 18, 50, 20);
    RadioButtonND->setChecked(true);
    auto* thr = new QLabel("VAD threshold", MorePanel);
    thr->setGeometry(134, 8, 100, 18);
    ComboBoxVadThr = new QComboBox(MorePanel);
    for (int i = 0; i <= 20; ++i) ComboBoxVadThr->addItem(QString::number(i * 0.05, 'f', 2));
    ComboBoxVadThr->setCurrentIndex(10);
    ComboBoxVadThr->setGeometry(134, 28, 70, 22);
    auto* features = new QGroupBox("Plotting features", MorePanel);
    features->setGeometry(6, 66, 200, 78);
    VPurpleCheckBox = new QCheckBox("Paint voiced frames", features);
    VPurpleCheckBox->setChecked(true);
    VPurpleCheckBox->setGeometry(8, 16, 180, 18);
    NRedCheckBox = new QCheckBox("Plot noise level", features);
    NRedCheckBox->setGeometry(8, 34, 180, 18);
    VolGreenCheckBox = new QCheckBox("Plot RXout volume", features);
    VolGreenCheckBox->setChecked(true);
    VolGreenCheckBox->setGeometry(8, 52, 180, 18);
    auto* close = new QPushButton("Close", MorePanel);
    close->setGeometry(210, 118, 44, 24);
    connect(close, &QPushButton::clicked, MorePanel, &QWidget::hide);
    MorePanel->hide();

    DetailsMemo = new QPlainTextEdit(this);
    DetailsMemo->setReadOnly(true);
    DetailsMemo->hide();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);

    connect(ConnectButton, &QPushButton::clicked, this, &TMainForm::ConnectButtonClick);
    connect(SettingsButton, &QPushButton::clicked, this, [this] {
        SettingsForm->show();
        SettingsForm->raise();
    });
    connect(HelpButton, &QPushButton::clicked, this, [this] {
        if (!HelpForm->isVisible()) PlaceOnScreen(*HelpForm, CentredOn(*HelpForm, *this), *this);
        HelpForm->show();
        HelpForm->raise();
    });
    connect(HistoryButton, &QPushButton::clicked, EditForm, &TEditForm::HistoryButtonClick);
    connect(PskButton, &QPushButton::clicked, this, &TMainForm::ShowDetails);
    connect(StartStopButton, &QPushButton::clicked, this, &TMainForm::StartStopButtonClick);
    connect(ButtonCancelRec, &QPushButton::clicked, this, &TMainForm::ButtonCancelRecClick);
    connect(ButtonParseOffline, &QPushButton::clicked, this, &TMainForm::ButtonParseOfflineClick);
    connect(RateTrackBar, &QSlider::valueChanged, this, &TMainForm::RateTrackBarChange);
    connect(DbCheckBox, &QCheckBox::clicked, this, [this](bool on) {
        if (!CheckBoxSpectrum->isChecked()) panel_->SetLogScale(on);
        chartCanvas_->update();
    });
    connect(MoreVisSetButton, &QPushButton::clicked, this, &TMainForm::MoreVisSetButtonClick);
    connect(ComboBoxVadThr, &QComboBox::currentIndexChanged, this, &TMainForm::ComboBoxVadThrChange);
    for (QCheckBox* c : {VPurpleCheckBox, NRedCheckBox, VolGreenCheckBox})
        connect(c, &QCheckBox::clicked, this, &TMainForm::VPurpleCheckBoxClick);
    connect(RadioButtonVAD, &QRadioButton::toggled, this,
            [this](bool on) { panel_->Settings.VadChosen = on; });
    connect(CheckBoxSpectrum, &QCheckBox::clicked, this, &TMainForm::CheckBoxSpectrumClick);
    connect(ComboBoxFFT, &QComboBox::currentTextChanged, this,
            [this](const QString& t) { panel_->ComboBoxFFTChange(t.toInt()); });
    connect(TrackBarSpecMax, &QSlider::valueChanged, this, [this](int v) {
        LabelSpectRange->setText(QString::number(v + 40) + " dB");
        panel_->Settings.SpecMax = v;
    });
    connect(TrackBarEnergyScale, &QSlider::valueChanged, this, [this](int v) {
        LabelEnergyScale->setText(QString::number(v) + " dB");
        panel_->Settings.EnergyScale = v;
    });
    connect(MaxDelayComboBox, &QComboBox::currentIndexChanged, this, &TMainForm::MaxDelayComboBoxChange);
    connect(DiagramButton, &QPushButton::clicked, this, &TMainForm::DiagramButtonClick);
    connect(ButtonCloseDiagPanel, &QPushButton::clicked, this, [this] {
        // In the TCP/IP error form the button also stops the retrying.
        if (EditTotalFrames->isHidden()) engine_->CancelTcpIpRetrying();
        RecordDiagPanel->hide();
    });
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    SetTabOrder();
}

void TMainForm::SetTabOrder() {
    std::vector<QWidget*> order;
    // Each row of charts: the selectors and Play buttons above the charts, then the dB sliders beside
    // them. The panels that open over the window keep the order of their own controls.
    for (const auto& [first, last] : {std::pair{1, 3}, std::pair{4, 5}}) {
        for (int k = first; k <= last; ++k)
            order.insert(order.end(), {ChartSelTagCB[size_t(k)], ChartSoundButton[size_t(k)]});
        for (int k = first; k <= last; ++k) order.push_back(DbMinSliders[size_t(k)]);
    }
    order.insert(order.end(), {ConnectButton,     SettingsButton,      HelpButton,         HistoryButton,
                               PskButton,         TotalLabeledEdit,    StartStopButton,    ButtonCancelRec,
                               PassedLabeledEdit, CheckBoxShowFiles,   ButtonParseOffline, RateTrackBar,
                               DbCheckBox,        MoreVisSetButton,    CheckBoxSpectrum,   ComboBoxFFT,
                               TrackBarSpecMax,   TrackBarEnergyScale, MaxDelayComboBox,   DiagramButton});
    for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

QLabel* TMainForm::Counter(CounterLabel which) const {
    return counters_[size_t(which)];
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

} // namespace vintrel

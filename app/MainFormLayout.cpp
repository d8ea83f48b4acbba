// The main window's controls and where they sit.
#include "app/MainForm.h"

#include "app/ChartView.h"

#include "app/EditForm.h"
#include "app/HelpForm.h"
#include "app/SettingsForm.h"
#include "app/WindowPlacement.h"
#include "delay/DelayForm.h"
#include "monitor/ChartLabels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <utility>
#include <vector>

namespace vintrel {

namespace {
// A widget that keeps its room in the layout while it is hidden.
template <class W> W* Steady(W* w) {
    QSizePolicy p = w->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    w->setSizePolicy(p);
    return w;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int spacing = 5) {
    auto* row = new QHBoxLayout;
    row->setSpacing(spacing);
    for (QWidget* w : widgets) row->addWidget(w);
    row->addStretch(1);
    return row;
}

// A label as wide as the widest of its texts, so that the row does not move as it changes.
QLabel* ValueLabel(const QString& text, const QString& widest, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(widest) + 4);
    return l;
}

QSlider* HorizontalSlider(int lo, int hi, int at, int width, QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(lo, hi);
    s->setValue(at);
    s->setFixedWidth(width);
    return s;
}
} // namespace

void TMainForm::CreateChartCell(int k, QGridLayout* grid) {
    auto* cell = new QWidget(chartGrid_);
    auto* l = new QGridLayout(cell);
    // Room round the chart for the listening frame.
    l->setContentsMargins(8, 8, 6, 0);
    l->setHorizontalSpacing(2);
    l->setVerticalSpacing(0);
    auto* view = new ChartView(*this, panel_->Chart(k), k, cell);
    chartViews_[size_t(k)] = view;
    l->addWidget(view, 1, 0);
    auto* label = Steady(new QLabel(cell));
    SNRlabels[size_t(k)] = label;
    l->addWidget(label, 2, 0, 1, 2);
    if (k <= 5) {
        auto* b = new QPushButton("Play", cell);
        b->setFixedWidth(b->fontMetrics().horizontalAdvance("Play") + 14);
        b->setEnabled(false);
        connect(b, &QPushButton::clicked, this, [this, k] { ChannelButtonClick(k); });
        ChartSoundButton[size_t(k)] = b;
        auto* cb = new QComboBox(cell);
        connect(cb, &QComboBox::activated, this, [this, k] { TagSelect(k); });
        connect(cb, &QComboBox::currentTextChanged, this, [this, k] { PlayTooltip(k); });
        ChartSelTagCB[size_t(k)] = cb;
        auto* top = new QHBoxLayout;
        top->setSpacing(2);
        top->addWidget(cb, 1);
        top->addWidget(b);
        l->addLayout(top, 0, 0, 1, 2);
        auto* slider = Steady(new QSlider(Qt::Vertical, cell));
        slider->setRange(0, 48);
        slider->setInvertedAppearance(true);
        connect(slider, &QSlider::valueChanged, this, [this, k](int v) {
            panel_->DbSliders[size_t(k)].Position = v;
            panel_->Chart(k).DbSliderChange();
            chartGrid_->UpdateCharts();
        });
        DbMinSliders[size_t(k)] = slider;
        l->addWidget(slider, 1, 1);
    } else {
        // No selector and no slider: the chart keeps the size of the others.
        l->setRowMinimumHeight(0, QComboBox().sizeHint().height());
        l->setColumnMinimumWidth(1, QSlider(Qt::Vertical).sizeHint().width());
        label->setText("MIPS unavailable");
    }
    l->setRowStretch(1, 1);
    l->setColumnStretch(0, 1);
    grid->addWidget(cell, (k - 1) / 3, (k - 1) % 3);
    chartGrid_->SetCell(k, cell, view);
}

void TMainForm::CreateControls() {
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(4, 0, 4, 4);
    top->setSpacing(4);
    chartGrid_ = new ChartGrid(*this, this);
    auto* grid = new QGridLayout(chartGrid_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    for (int k = 1; k <= 6; ++k) CreateChartCell(k, grid);
    top->addWidget(chartGrid_, 1);

    // Between the charts and the buttons, where the status line does not overwrite it; it stays
    // until the next Connect.
    FormatWarningLabel = Steady(new QLabel(this));
    FormatWarningLabel->setWordWrap(true);
    FormatWarningLabel->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    FormatWarningLabel->setStyleSheet("color: red; font-weight: bold");
    {
        QFont bold = font();
        bold.setBold(true);
        FormatWarningLabel->setFixedHeight(2 * QFontMetrics(bold).lineSpacing() + 2);
    }
    FormatWarningLabel->hide();
    top->addWidget(FormatWarningLabel);

    ConnectButton = new QPushButton("&Connect", this);
    SettingsButton = new QPushButton("&Settings", this);
    HelpButton = new QPushButton("&Help", this);
    HistoryButton = new QPushButton("History", this);
    PskButton = new QPushButton("Show Details", this);
    PskButton->hide();
    // "Disconnect" and "Hide details" fit as well.
    ConnectButton->setMinimumWidth(QPushButton("Dis&connect").sizeHint().width());
    PskButton->setMinimumWidth(QPushButton("Hide details").sizeHint().width());
    top->addLayout(Row({ConnectButton, SettingsButton, HelpButton, HistoryButton, PskButton}));

    TotalLabeledEdit = new QLineEdit("999", this);
    TotalLabeledEdit->setFixedWidth(TotalLabeledEdit->fontMetrics().horizontalAdvance("99999") + 12);
    StartStopButton = new QPushButton("Start &record", this);
    StartStopButton->setMinimumWidth(QPushButton("End &record").sizeHint().width());
    StartStopButton->setEnabled(false);
    ButtonCancelRec = new QPushButton("Cancel record", this);
    ButtonCancelRec->setEnabled(false);
    PassedLabeledEdit = new QLineEdit("0", this);
    PassedLabeledEdit->setReadOnly(true);
    PassedLabeledEdit->setFixedWidth(PassedLabeledEdit->fontMetrics().horizontalAdvance("999999") + 12);
    top->addLayout(Row({new QLabel("Max time, sec", this), TotalLabeledEdit, StartStopButton, ButtonCancelRec,
                        new QLabel("Recorded, sec", this), PassedLabeledEdit}));
    CheckBoxShowFiles = new QCheckBox("Open dialog with recorded files", this);
    CheckBoxShowFiles->setChecked(true);
    ButtonParseOffline = new QPushButton("Parse Offline (expert)", this);
    top->addLayout(Row({CheckBoxShowFiles, ButtonParseOffline}, 16));

    auto* vis = new QGroupBox("Waveform monitor settings", this);
    RateTrackBar = HorizontalSlider(1, 7, 4, 90, vis);
    DbCheckBox = new QCheckBox("Log scale", vis);
    DbCheckBox->setChecked(true);
    MoreVisSetButton = new QPushButton("More", vis);
    CheckBoxSpectrum = new QCheckBox("Show s&pectrum", vis);
    ComboBoxFFT = new QComboBox(vis);
    ComboBoxFFT->addItems({"256", "512", "1024", "2048"});
    TrackBarSpecMax = HorizontalSlider(0, 80, 56, 66, vis);
    LabelSpectRange = ValueLabel("96 dB", "120 dB", vis);
    TrackBarEnergyScale = HorizontalSlider(0, 96, 0, 60, vis);
    LabelEnergyScale = ValueLabel("0 dB", "96 dB", vis);
    auto* visRows = new QVBoxLayout(vis);
    visRows->setContentsMargins(6, 2, 6, 4);
    visRows->setSpacing(2);
    visRows->addLayout(
        Row({new QLabel("fast", vis), RateTrackBar, new QLabel("slow", vis), DbCheckBox, MoreVisSetButton}));
    visRows->addLayout(
        Row({CheckBoxSpectrum, new QLabel("FFT length", vis), ComboBoxFFT, TrackBarSpecMax, LabelSpectRange,
             new QLabel("Energy scale =", vis), TrackBarEnergyScale, LabelEnergyScale}));
    top->addWidget(vis);

    auto* delay = new QGroupBox(" Delay (RXout -> TXin) analysis", this);
    MaxDelayComboBox = new QComboBox(delay);
    MaxDelayComboBox->addItems({"1000", "2000", "4000"});
    MaxDelayComboBox->setCurrentIndex(1);
    DiagramButton = new QPushButton("Show &diagram", delay);
    auto* delayRow = Row({new QLabel("Max delay, ms", delay), MaxDelayComboBox, DiagramButton});
    delayRow->setContentsMargins(6, 2, 6, 4);
    delay->setLayout(delayRow);
    top->addWidget(delay);

    // The statistics: three columns, the stream's counters in the first two, the link's in the
    // third, so that "Link drops:" stands beside "Inconsistent frames:".
    statistics_ = new QWidget(this);
    auto* counters = new QGridLayout(statistics_);
    counters->setContentsMargins(6, 0, 6, 0);
    counters->setVerticalSpacing(2);
    counters->setHorizontalSpacing(8);
    static const char* const kCounterCaptions[] = {
        "Total frames:",        "Total time, sec:", "Checksum errors:",
        "Inconsistent frames:", "Reconnects:",      "Link drops:"};
    QLabel** link[] = {&reconnectsLabel_, &linkDropsLabel_};
    for (int i = 0; i < 6; ++i) {
        const int column = i < 4 ? i % 2 : 2, row = i < 4 ? i / 2 : i - 4;
        counters->addWidget(new QLabel(kCounterCaptions[i], statistics_), row, 2 * column);
        auto* value = ValueLabel("0", "99999999", statistics_);
        counters->addWidget(value, row, 2 * column + 1);
        if (i < 4)
            counters_[size_t(i)] = value;
        else
            *link[i - 4] = value;
    }
    // The echo canceller's figures over the last two seconds, under the counters.
    echoLine_ = new QLabel(QString::fromStdString(EchoFiguresLine(std::nullopt)), statistics_);
    echoLine_->setObjectName("echoFigures");
    counters->addWidget(echoLine_, 2, 0, 1, 7);
    counters->setColumnStretch(6, 1);
    top->addWidget(statistics_);

    // The profile details take the statistics' place and add their own height (ShowDetails).
    DetailsMemo = new QPlainTextEdit(this);
    DetailsMemo->setReadOnly(true);
    DetailsMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    DetailsMemo->hide();
    top->addWidget(DetailsMemo);

    LabelStat = new QLabel("Not connected", this);
    LabelStat->setMinimumWidth(0);
    LabelStat->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setFixedWidth(220);
    ProgressBar1->hide();
    auto* status = new QHBoxLayout;
    status->setContentsMargins(6, 0, 0, 0);
    status->addWidget(LabelStat, 1);
    status->addWidget(ProgressBar1);
    top->addLayout(status);

    WarningPanel = new QFrame(this);
    WarningPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    WarningPanel->setAutoFillBackground(true);
    WarningLabel = new QLabel("No signal", WarningPanel);
    WarningLabel->setAlignment(Qt::AlignCenter);
    WarningLabel->setStyleSheet("color: red; font-weight: bold; font-size: 17px");
    (new QVBoxLayout(WarningPanel))->addWidget(WarningLabel);
    WarningPanel->setMinimumSize(180, 40);
    WarningPanel->hide();

    CreateDiagPanel();
    CreateMorePanel();
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
        chartGrid_->UpdateCharts();
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

} // namespace vintrel

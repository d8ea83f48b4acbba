#include "delay/DelayForm.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <QValueAxis>

namespace vintrel {

namespace {
QLineEdit* Field(const QString& label, QGridLayout* grid, int row, QWidget* parent) {
    grid->addWidget(new QLabel(label, parent), row, 0);
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    grid->addWidget(e, row, 1);
    return e;
}
} // namespace

TDelayForm::TDelayForm(DelayAnalysis& analysis, QWidget* parent)
    : QWidget(parent, Qt::Window), analysis_(analysis) {
    setWindowTitle("Delay estimation");
    auto* grid = new QGridLayout(this);

    auto* chart = new QChart;
    chart->setTitle("Interchannel delay, ms");
    chart->legend()->hide();
    DelaySeries = new QLineSeries(chart);
    for (int i = 0; i < DelayAnalysis::kSeriesPoints; ++i) DelaySeries->append(i, 0);
    chart->addSeries(DelaySeries);
    auto* axisX = new QValueAxis(chart);
    axisX->setRange(0, DelayAnalysis::kSeriesPoints - 1);
    axisX->setVisible(false); // the newest point is at the right
    axisY_ = new QValueAxis(chart);
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY_, Qt::AlignLeft);
    DelaySeries->attachAxis(axisX);
    DelaySeries->attachAxis(axisY_);
    SetAxis(-50, 150);
    DelayChart = new QChartView(chart, this);
    DelayChart->setMinimumSize(480, 260);
    DelayChart->viewport()->installEventFilter(this);
    grid->addWidget(DelayChart, 0, 0, 1, 2);

    DelayLabeledEdit = Field("samples", grid, 1, this);
    msLabeledEdit = Field("ms", grid, 2, this);
    CorrLabeledEdit = Field("reliability", grid, 3, this);
    auto* warningRow = new QHBoxLayout;
    WarningEdit = new QLineEdit(this);
    WarningEdit->setReadOnly(true);
    warningRow->addWidget(WarningEdit, 1);
    likelyEcho_ = new QWidget(this);
    auto* likelyRow = new QHBoxLayout(likelyEcho_);
    likelyRow->setContentsMargins(0, 0, 0, 0);
    likelyRow->addWidget(new QLabel("likely echo, ms", likelyEcho_));
    LikelyEchoEdit = new QLineEdit(likelyEcho_);
    LikelyEchoEdit->setReadOnly(true);
    LikelyEchoEdit->setMaximumWidth(80);
    likelyRow->addWidget(LikelyEchoEdit);
    likelyEcho_->setVisible(false);
    warningRow->addWidget(likelyEcho_);
    grid->addLayout(warningRow, 4, 0, 1, 2);
    LabeledEditRPD = Field("Recommended RPD setting, ms:", grid, 5, this);

    refresh_ = new QTimer(this);
    refresh_->setInterval(100);
    connect(refresh_, &QTimer::timeout, this, &TDelayForm::Refresh);
}

void TDelayForm::SetAxis(int low, int high) {
    axisY_->setRange(low, high);
}

bool TDelayForm::FormShow(const StreamFormat& format) {
    const DelayAnalysis::ShowResult r = analysis_.FormShow(format);
    if (r != DelayAnalysis::ShowResult::Shown) {
        const QString text = r == DelayAnalysis::ShowResult::NoMemory
                                 ? QString(DelayAnalysis::kNoMemoryText).replace('\r', '\n')
                                 : QString("Delay analysis is impossible");
        QMessageBox::critical(this, QCoreApplication::applicationFilePath(), text);
        FormHide();
        return false;
    }
    shownEstimates_ = ~0ull;
    refresh_->start();
    show();
    raise();
    return true;
}

void TDelayForm::FormHide() {
    refresh_->stop();
    analysis_.FormHide();
    hide();
}

void TDelayForm::ChangeScale(int NewScale, const StreamFormat& format) {
    if (NewScale == analysis_.CurrentScale()) return;
    if (isVisible()) SetAxis(-50, 150);
    if (analysis_.ChangeScale(NewScale) != DelayAnalysis::ShowResult::Shown && analysis_.IsOnScreen())
        FormHide();
    (void)format;
}

void TDelayForm::Refresh() {
    const DelayView v = analysis_.View();
    if (v.HideRequested) {
        WarningEdit->setText(DelayAnalysis::kRawDataText);
        FormHide();
        return;
    }
    if (v.Estimates == shownEstimates_) return;
    shownEstimates_ = v.Estimates;
    DelayLabeledEdit->setText(QString::number(v.DelaySamples));
    msLabeledEdit->setText(QString::number(v.DelayMs));
    CorrLabeledEdit->setText(QString::fromLatin1(v.Reliability.data()));
    WarningEdit->setText(QString::fromLatin1(v.Warning.data()));
    LikelyEchoEdit->setText(v.LikelyEchoShown ? QString::number(v.LikelyEchoMs) : QString());
    likelyEcho_->setVisible(v.LikelyEchoShown);
    LabeledEditRPD->setText(v.RpdAvailable ? QString::number(v.Rpd) : QString("N/A"));
    LabeledEditRPD->setStyleSheet(v.RpdAvailable ? "color: navy" : "color: red");
    QList<QPointF> points;
    points.reserve(DelayAnalysis::kSeriesPoints);
    for (int i = 0; i < DelayAnalysis::kSeriesPoints; ++i) points.append(QPointF(i, v.Series[size_t(i)]));
    DelaySeries->replace(points);
}

void TDelayForm::closeEvent(QCloseEvent* e) {
    FormHide();
    e->accept();
}

bool TDelayForm::eventFilter(QObject* watched, QEvent* e) {
    if (watched == DelayChart->viewport() && e->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
        const int scale = analysis_.CurrentScale();
        SetAxis(-scale, scale);
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace vintrel

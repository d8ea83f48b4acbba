#pragma once
// "Delay estimation": the RXout to TX1in delay over the last 256 estimates, the current delay,
// its reliability, the warning line and the recommended RPD setting. The analysis runs in the
// parsing thread (DelayAnalysis); this window shows a copy of its results a few times a second.
#include "delay/DelayAnalysis.h"

#include <QWidget>

class QChartView;
class QLineSeries;
class QValueAxis;
class QLineEdit;
class QTimer;

namespace vintrel {

class TDelayForm : public QWidget {
    Q_OBJECT
public:
    TDelayForm(DelayAnalysis& analysis, QWidget* parent = nullptr);

    // Shows the window and starts a run; false (with the box shown) when the estimator cannot
    // be created.
    bool FormShow(const StreamFormat& format);
    void FormHide();
    void ChangeScale(int NewScale, const StreamFormat& format);
    // Reads the analysis' latest results into the controls.
    void Refresh();

    QLineEdit* DelayLabeledEdit;
    QLineEdit* msLabeledEdit;
    QLineEdit* CorrLabeledEdit;
    QLineEdit* WarningEdit;
    // Beside the warning line while it says the echo is longer than the range: the echo it likely is.
    QLineEdit* LikelyEchoEdit;
    QLineEdit* LabeledEditRPD;
    QLineSeries* DelaySeries;

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void SetAxis(int low, int high);
    DelayAnalysis& analysis_;
    QChartView* DelayChart;
    QWidget* likelyEcho_; // LikelyEchoEdit with its label
    QValueAxis* axisY_;
    QTimer* refresh_;
    uint64_t shownEstimates_ = ~0ull;
};

} // namespace vintrel

#pragma once
// The main window: the six charts, the channel selectors and play buttons, the connection,
// recording and visualisation controls, the counters, the status line, the warning and
// diagnosis panels. It owns the engine and plays its window side: the worker threads' messages
// arrive here as events, and every frame delivered in a batch is drawn by the chart panel.
#include "app/AppSettings.h"
#include "app/Engine.h"
#include "app/EngineView.h"
#include "app/QtMessageSink.h"
#include "app/RecordBrowser.h"
#include "delay/CorrLibrary.h"
#include "delay/DelayAnalysis.h"
#include "delay/DelayFeed.h"
#include "delay/LiveEchoFigures.h"
#include "monitor/AudioOutput.h"
#include "monitor/ChartPanel.h"
#include "monitor/ListenQueue.h"
#include "monitor/SpectrumQueues.h"
#include "recording/UserQuestions.h"
#include "stream/StatusLine.h"

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

namespace vintrel {

class TSettingsForm;
class THelpForm;
class TEditForm;
class TDelayForm;
class ChartGrid;
class ChartView;

struct StartOptions {
    bool DUMP2FILE = false;
    bool MARK_BE = false;
    std::string RecordingsFolder; // the recordings folder while the configuration names none
    std::string DumpFolder;       // where "-d" writes its dumps
    std::string SetFName;         // the configuration file
    // Starts the browsing copy after a recording; null: the program's own copy as a child process.
    RecordBrowserLauncher* Browser = nullptr;
};

// The listened-channel frame, drawn by the chart canvas.
struct TNarrowBevel {
    TChart Chart = NOCHART;
    int cTop = 0, cLeft = 0;
    bool Visible = false;
    int Top = 0, Left = 0;
    void Show() {
        cTop = Top;
        cLeft = Left;
        Visible = true;
    }
    void Hide() { Visible = false; }
};

class TMainForm : public QWidget,
                  public EngineView,
                  public EngineHooks,
                  public ListenView,
                  public UserQuestions {
    Q_OBJECT
public:
    explicit TMainForm(const StartOptions& options);
    ~TMainForm() override;

    // The delay library could not be bound: the program ends after the window is created.
    bool MustTerminate() const { return mustTerminate_; }

    // Status routines; callable on the window thread (the workers go through the sink). SetStat
    // is routine, SetStatInBold sticky (StatusLine); ChangeStat's match on the text shown also
    // removes a sticky text.
    void SetStat(const QString& s);
    void SetStatInBold(const QString& s);
    void ChangeStat(const QString& sFrom, const QString& sTo);
    QString StatusText() const;

    // EngineView
    void DrawFrame(int bufNum, TNewProtHeaderEveryFrameData& r) override;
    void FrameReported(bool checksum) override;
    void Warning(std::string_view text, bool show) override;
    void FormatWarning(std::string_view text) override;
    void ConnectedChanged(bool connected) override;
    void LinkCountersChanged(const LinkCounters& links) override;
    void TcpIpError(std::string_view text) override;
    void HideTcpIpError() override;
    void ErrorBox(std::string_view title, std::string_view text) override;
    void TagListsChanged() override;
    void PskClean() override;
    void SetButtonsEnabled(bool available, bool automatic) override;
    // The settings dialog's values; the delay window's visibility.
    ConnectSettings CurrentConnectSettings() const override;
    bool DelayWindowShown() const override;

    // EngineHooks: the spectrum queues restart when the stream runs (any thread may ask); the
    // listening queue's position for the debug dump.
    void SwitchedToRunning() override;
    uint8_t ListenQueueHeadTail() const override;
    // ListenView: the frame around the chart being listened to; the settings dialog's device list.
    void ShowListenMarker(TChart chart, bool visible) override;
    void EnableDeviceList(bool enabled) override;
    // RecordingView
    RecordSettings RecordingSettings() override;
    UserQuestions* RecordingQuestions() override { return this; }
    void ShowRecordFiles(const std::string& wildcard) override { SelectMultipleItems(wildcard); }
    void ShowRecordDamage(const ParseOutcome& outcome) override;
    // The wait cursor while a record is parsed; the workers' messages wait for the parse's end.
    void ParseBusy(bool busy) override;
    // The progress bar; the window is repainted now and then, user input waits.
    void ParseProgressChanged(int percent) override;

    // UserQuestions (the record parser's boxes); ErrorBox serves both interfaces.
    DamageAnswer AbortRetryIgnore(std::string_view caption, std::string_view text) override;
    bool YesNo(std::string_view caption, std::string_view text) override;
    void MessageBox(std::string_view caption, std::string_view text) override;

    // Controls and handlers that tests and the screenshot script drive.
    void ConnectButtonClick();
    void DiagramButtonClick();
    void StartStopButtonClick();
    // "Show spectrum" checked or unchecked as by a click.
    void ShowSpectrum(bool on);
    void ButtonCancelRecClick();
    // The "Play" button of chart k (1..5).
    void ChannelButtonClick(int k);
    void SetMaxTime(const QString& seconds);
    QString RecordedSec() const;
    QString EchoLineText() const;
    bool WarningShown() const;
    bool DiagPanelShown() const;
    QString DiagPanelTitle() const;
    Engine& EngineRef() { return *engine_; }
    TSettingsForm& Settings() { return *SettingsForm; }
    const LiveListening& Listening() const { return *listening_; }
    // The chart to play again once frames flow after a reconnection made by the program.
    TChart ListeningToResume() const { return WasListening; }
    TDelayForm& DelayWindow() { return *DelayForm; }
    TEditForm& History() { return *EditForm; }
    THelpForm& Help() { return *HelpForm; }
    QPushButton* ConnectButtonWidget() const { return ConnectButton; }
    const QLabel* FormatWarningWidget() const { return FormatWarningLabel; }
    QLabel* Counter(CounterLabel which) const;
    QSlider* DbSliderWidget(int k) const { return DbMinSliders[size_t(k)]; }
    QLabel* SnrLabelWidget(int k) const { return SNRlabels[size_t(k)]; }
    const QImage& Canvas() const { return canvas_; }
    ChartPanel& Panel() { return *panel_; }
    // Chart k's drawing (1..5 the channels, 6 the MIPS load).
    ChartView* ChartViewWidget(int k) const { return chartViews_[size_t(k)]; }
    const QPlainTextEdit* DetailsWidget() const { return DetailsMemo; }
    const QProgressBar* ProgressBarWidget() const { return ProgressBar1; }
    std::array<QPushButton*, 6> ChartSoundButton{}; // [1..5]
    std::array<QComboBox*, 6> ChartSelTagCB{};      // [1..5]
    TNarrowBevel ActiveChannelBevel;
    // Mouse move (tooltip) or right click on chart k: its channel and figures on the status line.
    void ShowChartText(int k, bool tooltip, const QPoint& global);
    // "Show details" / "Hide details" as by a click.
    void ShowDetails();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void CreateControls();
    // Chart k with its selector, Play button, dB slider and label, in `grid`.
    void CreateChartCell(int k, QGridLayout* grid);
    void CreateDiagPanel();
    void CreateMorePanel();
    void LoadSettings();
    void SaveSettings();
    void ApplyStatus(const StatusOp& op);
    void ShowStatus();
    void ShowRecordDiagPanel(bool IsRecord);
    void RefreshRecordControls();
    void RefreshTagLists();
    void Timer1Timer();
    void RefreshEchoLine();
    double VadThreshold() const; // the "VAD" setting as a share of full scale
    void MoreVisSetButtonClick();
    void ButtonParseOfflineClick();
    void CheckBoxSpectrumClick();
    void VPurpleCheckBoxClick();
    void RateTrackBarChange();
    void ComboBoxVadThrChange();
    void MaxDelayComboBoxChange();
    void FormatChanged(DataStreamFormat f);
    void TagSelect(int k);
    // The Play button of chart k names the channel its selector shows.
    void PlayTooltip(int k);
    // Tab moves through the controls as they are placed, row by row from the top, left to right.
    void SetTabOrder();
    // The details memo in the statistics' place, the window grown by its height; and back.
    void ShowDetailsMemo(const ProfileDetails& details);
    void HideDetailsMemo();
    void SelectMultipleItems(const std::string& wildcard);

    StartOptions options_;
    std::unique_ptr<QtMessageSink> sink_;
    StatusLine status_{"Not connected"}; // what LabelStat shows
    SteadyClock clock_;
    std::unique_ptr<Engine> engine_;
    CorrLibrary corrLibrary_;
    std::unique_ptr<DelayAnalysis> delay_;
    std::unique_ptr<DelayFeed> delayFeed_;
    std::unique_ptr<LiveEchoFigures> echoFigures_;
    std::unique_ptr<SpectrumQueues> spectrum_;
    std::unique_ptr<ListenQueue> listenQueue_;
    std::unique_ptr<LiveListening> listening_;
    QImage canvas_;
    std::unique_ptr<ChartPanel> panel_;
    bool mustTerminate_ = false;
    bool ReNew = false;
    bool closing_ = false;
    // Set only when the program closes the connection to reconnect; the user's Connect clears it.
    TChart WasListening = NOCHART;
    AppSettings loaded_;
    // A record is being parsed on this thread; the workers' messages delivered meanwhile are
    // kept in their order and posted again when it ends.
    struct HeldMessage {
        uint32_t Msg;
        uintptr_t WParam;
        intptr_t LParam;
    };
    bool parsing_ = false;
    std::vector<HeldMessage> held_;
    QElapsedTimer lastRepaint_; // the parse's last event processing

    TSettingsForm* SettingsForm = nullptr;
    THelpForm* HelpForm = nullptr;
    TEditForm* EditForm = nullptr;
    TDelayForm* DelayForm = nullptr;
    ChartGrid* chartGrid_ = nullptr;
    std::array<ChartView*, 7> chartViews_{}; // [1..6]
    QWidget* statistics_ = nullptr;          // the counters
    QGridLayout* diagLayout_ = nullptr;      // the diagnosis panel's, rearranged for its two forms
    int detailsGrowth_ = 0;                  // what the details memo added to the window's height
    std::array<QLabel*, 7> SNRlabels{};      // [1..5], [6] the MIPS label
    std::array<QSlider*, 6> DbMinSliders{};  // [1..5]
    QLabel* LabelStat;
    QPushButton* ConnectButton;
    QPushButton* SettingsButton;
    QPushButton* HelpButton;
    QPushButton* HistoryButton;
    QPushButton* PskButton;
    QPushButton* StartStopButton;
    QPushButton* ButtonCancelRec;
    QLineEdit* TotalLabeledEdit;
    QLineEdit* PassedLabeledEdit;
    QCheckBox* CheckBoxShowFiles;
    QPushButton* ButtonParseOffline;
    QSlider* RateTrackBar;
    QCheckBox* DbCheckBox;
    QPushButton* MoreVisSetButton;
    QFrame* MorePanel;
    QRadioButton* RadioButtonVAD;
    QRadioButton* RadioButtonND;
    QComboBox* ComboBoxVadThr;
    QCheckBox* VPurpleCheckBox;
    QCheckBox* NRedCheckBox;
    QCheckBox* VolGreenCheckBox;
    QCheckBox* CheckBoxSpectrum;
    QComboBox* ComboBoxFFT;
    QSlider* TrackBarSpecMax;
    QLabel* LabelSpectRange;
    QSlider* TrackBarEnergyScale;
    QLabel* LabelEnergyScale;
    QComboBox* MaxDelayComboBox;
    QPushButton* DiagramButton;
    std::array<QLabel*, 4> counters_{}; // by CounterLabel
    QLabel* reconnectsLabel_;           // "Reconnects:", from the engine's link counters
    QLabel* echoLine_ = nullptr;        // the echo figures under the counters
    QLabel* linkDropsLabel_;            // "Link drops:"
    QFrame* WarningPanel;
    QLabel* WarningLabel;
    QLabel* FormatWarningLabel; // what the stream says against the format or byte order chosen
    QFrame* RecordDiagPanel;
    QLabel* LabelDiagPanel;
    QLineEdit* EditFragments;
    QLineEdit* EditCSerrors;
    QLineEdit* EditTotalFrames;
    std::array<QLabel*, 3> diagLabels_{};
    QPushButton* ButtonCloseDiagPanel;
    QPlainTextEdit* DetailsMemo;
    QProgressBar* ProgressBar1; // the share of a record parsed, over the status line's right end
    QTimer* Timer1;
    std::unique_ptr<RecordBrowserLauncher> ownBrowser_; // when the options name no launcher
    RecordBrowserLauncher* browser_ = nullptr;          // the browsing copy of the program, at most one
};

} // namespace vintrel

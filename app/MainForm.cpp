#include "app/MainForm.h"

#include "app/ChartView.h"
#include "app/ConfigFile.h"
#include "app/EditForm.h"
#include "app/FileLocations.h"
#include "app/HelpForm.h"
#include "app/SettingsForm.h"
#include "app/WindowPlacement.h"
#include "delay/DelayForm.h"
#include "monitor/ChartLabels.h"
#include "quendel/QuendelImage.h"
#include "recording/OfflineParse.h"
#include "stream/Tags.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolTip>

#include <filesystem>
#include <thread>

namespace vintrel {

namespace {
// The recording's "Start record" / "End record" with the key letter the window gives it (Alt+R).
QString RecordCaption(const std::string& caption) {
    QString s = QString::fromStdString(caption);
    const qsizetype at = s.lastIndexOf(QStringLiteral("record"));
    if (at >= 0) s.insert(at, '&');
    return s;
}
} // namespace

TMainForm::TMainForm(const StartOptions& options) : options_(options) {
    if (!options.Browser) ownBrowser_ = std::make_unique<ProcessBrowserLauncher>();
    browser_ = options.Browser ? options.Browser : ownBrowser_.get();
    sink_ = std::make_unique<QtMessageSink>(this);
    engine_ = std::make_unique<Engine>(*sink_, clock_, *this, *this);
    Engine& e = *engine_;
    StreamState& s = e.State();

    canvas_ = QImage(ChartPanel::kCanvasWidth, ChartPanel::kCanvasHeight, QImage::Format_RGB32);
    canvas_.fill(palette().color(QPalette::Button));
    spectrum_ = std::make_unique<SpectrumQueues>(&s.Decoder);
    listenQueue_ = std::make_unique<ListenQueue>(&s);
    listening_ = std::make_unique<LiveListening>(*listenQueue_, *sink_, this);
    e.Extractor().AddConsumer(listenQueue_.get());
    e.Extractor().AddConsumer(spectrum_.get());
    panel_ = std::make_unique<ChartPanel>(canvas_, spectrum_.get(), true, 4, palette());

    QString caption = "Tesmaro Sondrel " + QString(kAppTitle).mid(QString("Vintrel").size());
    if (options.DUMP2FILE) caption += " with DebugDump";
    if (options.MARK_BE) caption += "_BE";
    setWindowTitle(caption);

    // The delay library from the program's own image; without corr_destroy the program ends.
    const LoadDllStatus dll = corrLibrary_.LoadDll(QuendelImage());
    if (dll == LoadDllStatus::Fatal) {
        QMessageBox::critical(this, "Loading error", QString::fromStdString(corrLibrary_.Message()));
        mustTerminate_ = true;
    }
    delay_ = std::make_unique<DelayAnalysis>(corrLibrary_.Entries(), s, 2000);
    delayFeed_ = std::make_unique<DelayFeed>(s, *delay_);
    e.Extractor().AddConsumer(delayFeed_.get());
    echoFigures_ = std::make_unique<LiveEchoFigures>(s, *delay_, corrLibrary_.Entries());
    e.Extractor().AddConsumer(echoFigures_.get());

    e.FtdiLib().Loading();
    if (options.DUMP2FILE) {
        std::string error; // a failure is not reported
        if (MakeFolder(options.DumpFolder, error)) e.Dump().Open(options.DumpFolder, options.MARK_BE, error);
    }

    SettingsForm = new TSettingsForm(e, this);
    SettingsForm->SetDefaultRecordingsFolder(QString::fromStdString(options.RecordingsFolder));
    HelpForm = new THelpForm(this);
    EditForm = new TEditForm(this);
    DelayForm = new TDelayForm(*delay_, nullptr);
    CreateControls();
    for (int k = 1; k <= 5; ++k) {
        // The dB sliders shown and set as the charts say: a position the chart snaps is written back without
        // counting as another move.
        DbSlider& d = panel_->DbSliders[size_t(k)];
        QSlider* slider = DbMinSliders[size_t(k)];
        slider->setRange(0, d.Max);
        d.Changed = [slider, &d] {
            const QSignalBlocker quiet(slider);
            slider->setValue(d.Position);
            slider->setVisible(d.Visible);
        };
        d.Changed();
        ChartLabel& snr = panel_->SnrLabels[size_t(k)];
        QLabel* label = SNRlabels[size_t(k)];
        snr.Changed = [label, &snr] { label->setVisible(snr.Visible); };
        snr.Changed();
    }

    // The layout's own size, as far as the screen's free area allows with a title bar.
    QSize size = sizeHint();
    if (const QScreen* sc = screen()) size = size.boundedTo(sc->availableGeometry().size() - QSize(0, 32));
    resize(size);

    LoadSettings();
    if (!e.FtdiLib().FTDIdriverFound) {
        if (loaded_.FtdiOnly)
            QMessageBox::critical(
                this,
                QString::fromUtf8(kFtdiLoadingErrorTitle.data(), qsizetype(kFtdiLoadingErrorTitle.size())),
                QString::fromUtf8(kFtdiLoadingErrorText.data(), qsizetype(kFtdiLoadingErrorText.size()))
                        .replace('\r', '\n') +
                    "\n\n" + QString::fromStdString(e.FtdiLib().LoadFailure()));
        SettingsForm->DisableFtdi();
    }
    RateTrackBarChange();
    ComboBoxVadThrChange();
    FormatChanged(SettingsForm->GetSamplingRateFrameDurFromRB());
    VPurpleCheckBoxClick();
    s.Decoder.NewProtHeaderScarceDataInit();
    SettingsForm->FTDICheckBoxClick();
    connect(SettingsForm, &TSettingsForm::FormatChanged, this, &TMainForm::FormatChanged);
    // The list's selection is the device that plays: the list's change is its only writer.
    const int preferred = listening_->AudioEnum(loaded_.Audio);
    QStringList devices;
    for (const std::string& d : listening_->DeviceNames()) devices << QString::fromStdString(d);
    SettingsForm->SetAudioDevices(devices, preferred);
    connect(SettingsForm, &TSettingsForm::AudioDeviceChanged, this,
            [this](int position) { listening_->SelectDevice(position); });
    listening_->SelectDevice(SettingsForm->AudioDeviceList()->currentIndex());
    CheckBoxSpectrumClick();
    e.Start();
    Timer1->start();
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    if (!closing_) {
        QCloseEvent ev;
        closeEvent(&ev);
    }
    browser_->Stop(); // a busy browsing copy ends too
    delete DelayForm;
}

void TMainForm::LoadSettings() {
    AppSettings s;
    // Without a stored choice, FTDI ports are asked for only when their library is there.
    s.FtdiOnly = engine_->FtdiLib().FTDIdriverFound;
    const bool found = Tune(options_.SetFName, s, sink_.get());
    loaded_ = s;
    SettingsForm->LoadFrom(s);
    RateTrackBar->setValue(s.Rate);
    (s.VadMode ? RadioButtonVAD : RadioButtonND)->setChecked(true);
    ComboBoxVadThr->setCurrentIndex(s.VoiceThrItem);
    VPurpleCheckBox->setChecked(s.PaintVoice);
    NRedCheckBox->setChecked(s.PlotNoise);
    CheckBoxShowFiles->setChecked(s.ShowFiles);
    ComboBoxFFT->setCurrentText(QString::number(s.FftLength));
    engine_->State().Tags.CheckBoxLockCh = s.Lock;
    SetTagsFromSettingsFile(engine_->State().Tags, found ? s.SelectedNames : std::string());
    RefreshTagLists();
}

void TMainForm::SaveSettings() {
    AppSettings s = loaded_;
    SettingsForm->SaveTo(s);
    s.Rate = RateTrackBar->value();
    s.VadMode = RadioButtonVAD->isChecked();
    s.VoiceThrItem = ComboBoxVadThr->currentIndex();
    s.PaintVoice = VPurpleCheckBox->isChecked();
    s.PlotNoise = NRedCheckBox->isChecked();
    s.ShowFiles = CheckBoxShowFiles->isChecked();
    s.FftLength = ComboBoxFFT->currentText().toInt();
    s.Lock = engine_->State().Tags.CheckBoxLockCh.load();
    s.SelectedNames = SelectedNamesOf(engine_->State().Tags);
    std::string error;
    const std::string folder = std::filesystem::path(options_.SetFName).parent_path().string();
    if ((!folder.empty() && !MakeFolder(folder, error)) ||
        !vintrel::SaveSettings(options_.SetFName, s, error))
        QMessageBox::critical(
            this, "Sondrel",
            "Can't save application settings.\nPerhaps you are working in protected directory.");
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (closing_) {
        e->accept();
        return;
    }
    closing_ = true;
    Timer1->stop();
    StreamState& s = engine_->State();
    s.Remove(StreamState::Corr);
    s.Remove(StreamState::Usb);
    listening_->waveOutStop();
    listenQueue_->Park();
    delay_->FormHide();
    DelayForm->hide();
    engine_->Close(); // ends a recording (parsed), parks the threads, TERMINATING
    SaveSettings();
    e->accept();
}

// ---- status line ----------------------------------------------------------------------------

void TMainForm::SetStat(const QString& s) {
    status_.Set(s.toStdString(), StatStyle::Normal, StatKind::Routine);
    ShowStatus();
}

void TMainForm::SetStatInBold(const QString& s) {
    status_.Set(s.toStdString(), StatStyle::BoldRed, StatKind::Sticky);
    ShowStatus();
}

void TMainForm::ChangeStat(const QString& sFrom, const QString& sTo) {
    if (!LabelStat->text().contains(sFrom, Qt::CaseInsensitive)) return;
    const std::string from = sFrom.toStdString();
    const std::string_view word = from;
    status_.ClearIfContains(&word, 1);
    if (!sTo.isEmpty()) status_.Set(sTo.toStdString(), StatStyle::Normal, StatKind::Routine);
    ShowStatus();
}

QString TMainForm::StatusText() const {
    return LabelStat->text();
}

void TMainForm::ShowStatus() {
    const QString text = QString::fromStdString(status_.Text());
    const char* sheet = status_.Style() == StatStyle::Normal ? "" : "color: red; font-weight: bold";
    if (LabelStat->styleSheet() != sheet) LabelStat->setStyleSheet(sheet);
    if (LabelStat->text() != text) LabelStat->setText(text);
}

void TMainForm::ApplyStatus(const StatusOp& op) {
    switch (op.Op) {
    case StatusOp::Set:
        status_.Set(op.Text.toStdString(), op.Style, op.Kind);
        ShowStatus();
        break;
    case StatusOp::ClearIfContains: {
        std::vector<std::string> words;
        for (const QString& w : op.Words) words.push_back(w.toStdString());
        const std::vector<std::string_view> views(words.begin(), words.end());
        status_.ClearIfContains(views.data(), int(views.size()));
        ShowStatus();
        break;
    }
    case StatusOp::Counter:
        counters_[size_t(op.Label)]->setText(QString::number(op.Value));
        break;
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* e) {
    // The user's click or key in this window, on any of its controls, releases a sticky text
    // before the control acts (a button's own text then follows it).
    const QEvent::Type t = e->type();
    if ((t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick || t == QEvent::KeyPress) &&
        status_.Sticky() && watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        status_.UserAction();
        ShowStatus();
    }
    return false;
}

bool TMainForm::event(QEvent* e) {
    if (e->type() == AppMessageEvent::kType) {
        const auto* m = static_cast<AppMessageEvent*>(e);
        if (parsing_) {
            // The engine is in the middle of the parse: its messages wait, as they would if
            // nothing but the repaints were processed.
            held_.push_back({m->Msg, m->WParam, m->LParam});
            return true;
        }
        if (!closing_) engine_->AppMessage(m->Msg, m->WParam, m->LParam);
        if (m->Msg == WM_FRAMES_READY) {
            chartGrid_->UpdateCharts();
            RefreshRecordControls();
        }
        return true;
    }
    if (e->type() == QtMessageSink::kStatusType) {
        for (const StatusOp& op : sink_->TakeStatusOps()) ApplyStatus(op);
        return true;
    }
    return QWidget::event(e);
}

// ---- the engine's window side ---------------------------------------------------------------

void TMainForm::DrawFrame(int bufNum, TNewProtHeaderEveryFrameData& r) {
    StreamState& s = engine_->State();
    if (!RecordDiagPanel->isHidden() && EditTotalFrames->isHidden()) RecordDiagPanel->hide();
    panel_->DrawFrame(r, s.Ring.ProtocolType(), s.Tags);
    for (int k = 1; k <= 5; ++k) {
        panel_->ListenButtonEna[size_t(k)] = r.FrameLen[size_t(k)] > 0;
        const QString snr = QString::fromStdString(panel_->SnrLabels[size_t(k)].Caption);
        if (SNRlabels[size_t(k)]->text() != snr) SNRlabels[size_t(k)]->setText(snr);
    }
    const QString mips = QString::fromStdString(panel_->MIPSLabel);
    if (SNRlabels[6]->text() != mips) SNRlabels[6]->setText(mips);
    if (WasListening != NOCHART && panel_->ListenButtonEna[size_t(WasListening)]) {
        listening_->RestoreAudio(WasListening);
        WasListening = NOCHART;
    }
    SetButtonsEnabled(true, false);
    const bool showButton = engine_->Recording().Profile().ButtonVisible();
    PskButton->setVisible(showButton);
    (void)bufNum;
}

ConnectSettings TMainForm::CurrentConnectSettings() const {
    return SettingsForm->CurrentConnectSettings();
}

bool TMainForm::DelayWindowShown() const {
    return delay_->IsOnScreen();
}

void TMainForm::SwitchedToRunning() {
    spectrum_->RequestInit();
}

void TMainForm::ShowListenMarker(TChart chart, bool visible) {
    if (visible) {
        ActiveChannelBevel.Left = Chart_XY[size_t(chart)].X - 8;
        ActiveChannelBevel.Top = Chart_XY[size_t(chart)].Y - 40;
        ActiveChannelBevel.Chart = chart;
        ActiveChannelBevel.Show();
    } else {
        ActiveChannelBevel.Hide();
    }
    chartGrid_->update(); // the frame round the cell
}

void TMainForm::EnableDeviceList(bool enabled) {
    SettingsForm->EnableAudioDevices(enabled);
}

uint8_t TMainForm::ListenQueueHeadTail() const {
    return listenQueue_->HeadTail();
}

void TMainForm::FrameReported(bool checksum) {
    StreamState& s = engine_->State();
    panel_->FrameReported(checksum, s.Ring.ProtocolType(), s.Tags, s.Format().MsPerFrame);
    chartGrid_->UpdateCharts();
}

void TMainForm::Warning(std::string_view text, bool show) {
    WarningLabel->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    if (show) {
        WarningPanel->adjustSize();
        WarningPanel->move(chartGrid_->geometry().center() - WarningPanel->rect().center());
        WarningPanel->show();
        WarningPanel->raise();
    } else if (!WarningPanel->isHidden()) {
        WarningPanel->hide();
    }
}

void TMainForm::FormatWarning(std::string_view text) {
    const QString line = QString::fromUtf8(text.data(), qsizetype(text.size()));
    FormatWarningLabel->setText(line);
    FormatWarningLabel->setToolTip(line);
    FormatWarningLabel->setVisible(!line.isEmpty());
    if (!line.isEmpty()) FormatWarningLabel->raise();
}

void TMainForm::ConnectedChanged(bool connected) {
    ConnectButton->setText(connected ? "Dis&connect" : "&Connect");
    SettingsForm->EnaDisOnCnctBtn(connected);
    // A recording kept for a reconnection can still be ended meanwhile.
    if (!connected && !engine_->Recording().IsRecording()) StartStopButton->setEnabled(false);
    if (connected) {
        StreamState& s = engine_->State();
        panel_->RestartStatistics(s.Format().MsPerFrame);
        CheckBoxSpectrumClick();
        if (listening_->Listen() != NOCHART) listening_->waveOutStart();
        MaxDelayComboBoxChange();
        echoFigures_->RequestRestart(VadThreshold());
    }
    RefreshEchoLine();
}

double TMainForm::VadThreshold() const {
    return ComboBoxVadThr->currentIndex() * 0.05;
}

QString TMainForm::EchoLineText() const {
    return echoLine_->text();
}

void TMainForm::RefreshEchoLine() {
    echoLine_->setText(QString::fromStdString(
        EchoFiguresLine(engine_->Connected() ? echoFigures_->Latest() : std::nullopt)));
}

void TMainForm::LinkCountersChanged(const LinkCounters& links) {
    reconnectsLabel_->setText(QString::number(links.Reconnects()));
    linkDropsLabel_->setText(QString::number(links.LinkDrops()));
}

void TMainForm::TcpIpError(std::string_view text) {
    EditFragments->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
    ShowRecordDiagPanel(false);
}

void TMainForm::HideTcpIpError() {
    if (!RecordDiagPanel->isHidden() && EditTotalFrames->isHidden()) RecordDiagPanel->hide();
}

void TMainForm::ErrorBox(std::string_view title, std::string_view text) {
    QMessageBox::critical(this, QString::fromUtf8(title.data(), qsizetype(title.size())),
                          QString::fromUtf8(text.data(), qsizetype(text.size())));
}

DamageAnswer TMainForm::AbortRetryIgnore(std::string_view caption, std::string_view text) {
    const auto b = QMessageBox::critical(this, QString::fromUtf8(caption.data(), qsizetype(caption.size())),
                                         QString::fromUtf8(text.data(), qsizetype(text.size())),
                                         QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    return b == QMessageBox::Abort   ? DamageAnswer::Abort
           : b == QMessageBox::Retry ? DamageAnswer::Retry
                                     : DamageAnswer::Ignore;
}

bool TMainForm::YesNo(std::string_view caption, std::string_view text) {
    return QMessageBox::question(this, QString::fromUtf8(caption.data(), qsizetype(caption.size())),
                                 QString::fromUtf8(text.data(), qsizetype(text.size()))) == QMessageBox::Yes;
}

void TMainForm::MessageBox(std::string_view caption, std::string_view text) {
    QMessageBox::information(this, QString::fromUtf8(caption.data(), qsizetype(caption.size())),
                             QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void TMainForm::TagListsChanged() {
    RefreshTagLists();
}

void TMainForm::RefreshTagLists() {
    const TagModel& tags = engine_->State().Tags;
    for (int k = 1; k <= 5; ++k) {
        QComboBox* cb = ChartSelTagCB[size_t(k)];
        const TagListModel& list = tags.ChartSelTagCB[size_t(k)];
        cb->blockSignals(true);
        cb->clear();
        for (const std::string& item : list.Items) cb->addItem(QString::fromStdString(item));
        cb->setCurrentIndex(list.Selected);
        cb->setEnabled(list.Enabled && !tags.CheckBoxLockCh.load());
        cb->blockSignals(false);
        PlayTooltip(k);
    }
}

void TMainForm::PlayTooltip(int k) {
    ChartSoundButton[size_t(k)]->setToolTip(ChartSelTagCB[size_t(k)]->currentText());
}

void TMainForm::TagSelect(int k) {
    engine_->State().Tags.TagSelect(static_cast<TChart>(k),
                                    ChartSelTagCB[size_t(k)]->currentText().toStdString());
    panel_->Chart(k).InitNoiseLevelCalc(0);
}

void TMainForm::PskClean() {
    HideDetailsMemo();
    PskButton->hide();
}

void TMainForm::SetButtonsEnabled(bool available, bool automatic) {
    if (!available && listening_->Listen() != NOCHART) {
        // Only a reconnection made by the program plays the chart again; the user's own
        // Disconnect ends listening.
        WasListening = automatic ? listening_->Listen() : NOCHART;
        listening_->ChangeAudio(listening_->Listen(), 0); // the same chart again stops it
    }
    for (int k = 1; k <= 5; ++k)
        ChartSoundButton[size_t(k)]->setEnabled(available && panel_->ListenButtonEna[size_t(k)]);
    RefreshRecordControls();
}

void TMainForm::RefreshRecordControls() {
    const RecordControls& c = engine_->Recording().Controls();
    StartStopButton->setText(RecordCaption(c.StartStopCaption));
    StartStopButton->setEnabled(c.StartStopEnabled &&
                                (engine_->Connected() || engine_->Recording().IsRecording()));
    ButtonCancelRec->setEnabled(c.CancelEnabled);
    PassedLabeledEdit->setText(QString::fromStdString(c.RecordedSec));
    SettingsForm->SetRecordingControlsEnabled(!c.SettingsLocked);
}

// ---- handlers -------------------------------------------------------------------------------

void TMainForm::ConnectButtonClick() {
    WasListening = NOCHART; // the user's own press: nothing left over from a reconnection resumes
    ConnectCorrections fixed;
    engine_->ConnectButtonClick(false, &fixed);
    SettingsForm->ShowCorrections(fixed);
    StreamState& s = engine_->State();
    if (engine_->Connected()) {
        s.Decoder.CanCalculateDelay = false;
        for (QLabel* c : counters_) c->setText("0");
        s.Tags.CollectMIPS = 0;
    } else {
        s.Tags.CollectableTagsChanged = 0;
    }
}

void TMainForm::StartStopButtonClick() {
    // The folder is made when the first record needs it; one that cannot be made is named when
    // the raw record cannot be created in it.
    std::string error;
    if (!engine_->Recording().IsRecording())
        MakeFolder(SettingsForm->RecordingsFolder().toStdString(), error);
    engine_->Recording().StartStopButtonClick();
    RefreshRecordControls();
}

void TMainForm::DiagramButtonClick() {
    StreamState& s = engine_->State();
    if (s.Decoder.CanCalculateDelay.load()) {
        DelayForm->FormShow(s.Format());
        return;
    }
    QMessageBox::critical(this, "Delay Diagram", "Not enough data (TX1IN|TXOUT or RXOUT not logged)");
    if (delay_->IsOnScreen())
        DelayForm->FormHide();
    else
        s.Remove(StreamState::Corr);
}

void TMainForm::MaxDelayComboBoxChange() {
    const int scale = MaxDelayComboBox->currentText().toInt();
    if (scale != delay_->CurrentScale()) DelayForm->ChangeScale(scale, engine_->State().Format());
}

void TMainForm::FormatChanged(DataStreamFormat f) {
    const StreamFormat v = GetStreamFormat(f);
    listenQueue_->FormatRate = v.SamplingRateFromSettings;
    MaxDelayComboBox->blockSignals(true);
    MaxDelayComboBox->setCurrentIndex(1); // selected without applying it
    MaxDelayComboBox->blockSignals(false);
    panel_->RestartStatistics(v.MsPerFrame);
    for (int k = 1; k <= 5; ++k) panel_->Chart(k).SpectrumMaxFreq = v.SamplingRateFromSettings / 2;
    if (CheckBoxSpectrum->isChecked()) panel_->SetSpectrumShown(true, v.SamplingRateFromSettings);
    chartGrid_->UpdateCharts();
}

void TMainForm::RateTrackBarChange() {
    panel_->SetRatePosition(RateTrackBar->value());
    chartGrid_->UpdateCharts();
}

void TMainForm::ComboBoxVadThrChange() {
    panel_->SetVadThrItem(ComboBoxVadThr->currentIndex());
    if (engine_->Connected()) echoFigures_->RequestRestart(VadThreshold());
}

void TMainForm::VPurpleCheckBoxClick() {
    panel_->SetPlottingFeatures(NRedCheckBox->isChecked(), VPurpleCheckBox->isChecked());
    panel_->Settings.PlotRxOutVolume = VolGreenCheckBox->isChecked();
}

void TMainForm::CheckBoxSpectrumClick() {
    const bool on = CheckBoxSpectrum->isChecked();
    panel_->Settings.ShowSpectrum = on;
    panel_->SetSpectrumShown(
        on, GetStreamFormat(SettingsForm->GetSamplingRateFrameDurFromRB()).SamplingRateFromSettings);
    if (!on) panel_->SetLogScale(DbCheckBox->isChecked());
    for (QWidget* w : std::initializer_list<QWidget*>{ComboBoxFFT, TrackBarSpecMax, TrackBarEnergyScale})
        w->setEnabled(on);
    chartGrid_->UpdateCharts();
}

void TMainForm::ButtonCancelRecClick() {
    engine_->Recording().ButtonCancelRecClick();
    RefreshRecordControls();
}

void TMainForm::SetMaxTime(const QString& seconds) {
    TotalLabeledEdit->setText(seconds);
}
QString TMainForm::RecordedSec() const {
    return PassedLabeledEdit->text();
}
bool TMainForm::WarningShown() const {
    return !WarningPanel->isHidden();
}
bool TMainForm::DiagPanelShown() const {
    return !RecordDiagPanel->isHidden();
}
QString TMainForm::DiagPanelTitle() const {
    return LabelDiagPanel->text();
}

void TMainForm::ShowSpectrum(bool on) {
    CheckBoxSpectrum->setChecked(on);
    CheckBoxSpectrumClick();
}

void TMainForm::ChannelButtonClick(int k) {
    const StreamFormat f = engine_->State().Format();
    listening_->ChangeAudio(static_cast<TChart>(k), f.SamplingRateFromSettings);
}

RecordSettings TMainForm::RecordingSettings() {
    RecordSettings r;
    r.RecordingsFolder = SettingsForm->RecordingsFolder().toStdString();
    r.LockFolder = true;
    r.FileNameBase = SettingsForm->BaseName().toStdString();
    r.IncludeTimeStamp = SettingsForm->Stamp();
    const AppSettings::Stereo st = SettingsForm->StereoMode();
    r.Stereo = st == AppSettings::Stereo::RXinTX1in    ? StereoChoice::RxInTx1In
               : st == AppSettings::Stereo::TX1inTX2in ? StereoChoice::Tx1InTx2In
                                                       : StereoChoice::Mono;
    r.DeleteRawRecord = SettingsForm->DeleteTmp();
    r.Gaps = SettingsForm->ExactGaps() ? GapFill::Exact : GapFill::Marker;
    r.MaxTimeText = TotalLabeledEdit->text().toStdString();
    r.ShowFiles = CheckBoxShowFiles->isChecked();
    r.Caption = windowTitle().toStdString();
    return r;
}

void TMainForm::ShowRecordDamage(const ParseOutcome& o) {
    EditFragments->setText(QString::number(o.Portion));
    EditCSerrors->setText(QString::number(o.badcs));
    EditTotalFrames->setText(QString::number(o.Frames));
    ShowRecordDiagPanel(true);
}

void TMainForm::ParseBusy(bool busy) {
    if (busy == parsing_) return;
    parsing_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        lastRepaint_.invalidate(); // the first progress repaints at once
        RefreshRecordControls();   // disabled for the whole parse
        return;
    }
    ProgressBar1->hide();
    QApplication::restoreOverrideCursor();
    // Ahead of the messages posted after them and still queued.
    for (const HeldMessage& m : held_)
        QCoreApplication::postEvent(this, new AppMessageEvent(m.Msg, m.WParam, m.LParam),
                                    Qt::HighEventPriority);
    held_.clear();
}

void TMainForm::ParseProgressChanged(int percent) {
    if (percent < 0) {
        ProgressBar1->hide();
        return;
    }
    ProgressBar1->show();
    ProgressBar1->setValue(percent);
    if (lastRepaint_.isValid() && lastRepaint_.elapsed() < 20) return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    lastRepaint_.start();
}

void TMainForm::ButtonParseOfflineClick() {
    std::string error; // the parse names a folder it cannot use
    MakeFolder(SettingsForm->RecordingsFolder().toStdString(), error);
    const QString chosen =
        QFileDialog::getOpenFileName(this, "Open recorded dump", SettingsForm->RecordingsFolder() + "/",
                                     "Saved tmp files(*.$$$);;All files (*.*)");
    if (chosen.isEmpty()) return;
    const bool bigEndian = SettingsForm->CurrentConnectSettings().BigEndian;
    const DataStreamFormat format = SettingsForm->GetSamplingRateFrameDurFromRB();
    // What the record's own frames say against the settings is shown before the parse starts.
    FormatWarning(FindingText(
        CheckRecordFormat(engine_->Recording().Files(), chosen.toStdString(), bigEndian, format)));
    engine_->Recording().ButtonParseOfflineClick(chosen.toStdString(), bigEndian, format);
    RefreshRecordControls();
}

void TMainForm::SelectMultipleItems(const std::string& wildcard) {
    browser_->Start(QCoreApplication::applicationFilePath(), QString::fromStdString(wildcard));
}

void TMainForm::ShowChartText(int k, bool tooltip, const QPoint& global) {
    if (k == 6) {
        if (engine_->State().Tags.CollectMIPS.load() == 0) return;
        SetStat("MIPS" + QString::fromStdString(panel_->ChartHint[6]));
        return;
    }
    const QString text =
        ChartSelTagCB[size_t(k)]->currentText() + QString::fromStdString(panel_->ChartHint[size_t(k)]);
    SetStat(text);
    if (tooltip) QToolTip::showText(global, text, this);
}

void TMainForm::Timer1Timer() {
    if (parsing_) return; // the engine is busy in the parse; the next tick comes a second later
    if (!ReNew) {
        // Beside the main window and below it, as far as the screen allows.
        const QPoint settingsAt(x() + frameGeometry().width() + 8, y());
        PlaceOnScreen(*SettingsForm, settingsAt, *this);
        PlaceOnScreen(*DelayForm, QPoint(x(), y() + frameGeometry().height()), *this);
        SettingsForm->show();
        PlaceOnScreen(*SettingsForm, settingsAt, *this); // its frame is known once it is shown
        ReNew = true;
    }
    engine_->OnTimer();
    RefreshRecordControls();
    RefreshEchoLine();
}

} // namespace vintrel

#include "recording/RecordingControl.h"

#include "stream/Text.h"

#include <cerrno>

namespace vintrel {

class RecordingControl::QuestionsRelay : public UserQuestions {
public:
    explicit QuestionsRelay(RecordingControl& owner) : owner_(owner) {}
    DamageAnswer AbortRetryIgnore(std::string_view caption, std::string_view text) override {
        UserQuestions* q = Asked();
        return q ? q->AbortRetryIgnore(caption, text) : DamageAnswer::Ignore;
    }
    bool YesNo(std::string_view caption, std::string_view text) override {
        UserQuestions* q = Asked();
        return q ? q->YesNo(caption, text) : true;
    }
    void ErrorBox(std::string_view caption, std::string_view text) override {
        if (UserQuestions* q = Asked())
            q->ErrorBox(caption, text);
        else
            owner_.sink_.SetStat(FirstLine(text), StatStyle::BoldRed);
    }
    void MessageBox(std::string_view caption, std::string_view text) override {
        if (UserQuestions* q = Asked())
            q->MessageBox(caption, text);
        else
            owner_.sink_.SetStat(FirstLine(text), StatStyle::Normal);
    }

private:
    UserQuestions* Asked() const { return owner_.view_.RecordingQuestions(); }
    static std::string_view FirstLine(std::string_view t) { return t.substr(0, t.find('\n')); }
    RecordingControl& owner_;
};

RecordingControl::RecordingControl(StreamState& s, MessageSink& sink, FileSystem& files, RecordingView& view)
    : s_(s), sink_(sink), files_(files), view_(view), relay_(std::make_unique<QuestionsRelay>(*this)),
      recorder_(s, sink, files), parser_(sink, *relay_, files, &view), profile_(s.Decoder, sink) {}

RecordingControl::~RecordingControl() {
    recorder_.StopAndClose();
}

void RecordingControl::StartStopButtonClick() {
    if (IsParsing_) return; // the button is disabled while a record is parsed
    if (IsRecording()) {
        EndRecording();
        return;
    }
    const RecordSettings settings = CurrentSettings();
    const std::optional<int32_t> total = TextToInt32(settings.MaxTimeText);
    if (!total) {
        relay_->ErrorBox("TCP Sondrel", "Record duration must be an integer number");
        return;
    }
    RecTotal = *total;
    if (!TakeFolder(settings.RecordingsFolder, settings.LockFolder)) {
        relay_->ErrorBox("Sondrel",
                         "Recordings folder " + settings.RecordingsFolder + " is in use by another Vintrel");
        return;
    }
    recordFolder_ = settings.RecordingsFolder;
    if (std::string cause; !recorder_.Create(RawRecordPath(settings), &cause)) {
        folderLock_.reset();
        relay_->ErrorBox("Sondrel",
                         "Can't create a temporary file\nPerhaps you are using 'temp.$$$' file at this "
                         "time\nor working in protected directory\n" +
                             cause);
        return;
    }
    controls_.StartStopCaption = "End record";
    controls_.SettingsLocked = true;
    controls_.RecordedSec = "0";
    controls_.CancelEnabled = true;
    sink_.SetStat(" Log recording", StatStyle::Normal);
    recorder_.Begin(settings.FrameLimit);
    controls_.Hourglass = false;
    controls_.StartStopEnabled = true;
}

void RecordingControl::EndRecording(bool automatic) {
    recorder_.StopAndClose(); // from here on the parsing thread writes nothing
    controls_.StartStopEnabled = false;
    controls_.StartStopCaption = "Start record";
    controls_.SettingsLocked = false;
    controls_.CancelEnabled = false;
    SetParsing(true);

    RecordSettings settings = RecordingSettings();
    ParseRequest request;
    // The record's own protocol: after a reconnection the stream may have another.
    const int recorded = recorder_.RecordedProtocol();
    request.ProtocolType = recorded >= 0 ? recorded : s_.Ring.ProtocolType();
    request.Format = s_.Format();
    request.VerifyChecksum = s_.Settings.VerifyChecksum.load();
    request.WasRecording = automatic;
    request.Settings = settings;
    const ProfileSnapshot profile = TakeProfileSnapshot(s_.Decoder, request.ProtocolType);
    request.Profile = &profile;
    ParseOutcome outcome = parser_.ParseRecordedAudio("", request);
    const std::string raw = RawRecordPath(settings);
    if (outcome.Failed() && !settings.RawRecordFile.empty()) {
        outcome.KeptRawRecord = raw; // a record named by the user stays where it is
        sink_.SetStat(
            (outcome.Status.empty() ? std::string("The record could not be parsed.") : outcome.Status) +
                " Raw record kept: " + raw,
            StatStyle::Normal, StatKind::Sticky);
    } else if (outcome.Failed()) {
        // The frames are only in the raw record now: it is kept, whatever the setting, under a
        // name of its own that the next recording does not overwrite.
        const std::string kept = settings.RecordingsFolder + "/temp" + TimeStamp() + ".$$$";
        outcome.KeptRawRecord = files_.Rename(raw, kept) == 0 ? kept : raw;
        sink_.SetStat(
            (outcome.Status.empty() ? std::string("The record could not be parsed.") : outcome.Status) +
                " Raw record kept: " + outcome.KeptRawRecord,
            StatStyle::Normal, StatKind::Sticky);
    } else if (settings.DeleteRawRecord && settings.RawRecordFile.empty()) {
        files_.Remove(raw);
    }
    folderLock_.reset();
    AfterParse(outcome);
    SetParsing(false);
    controls_.StartStopEnabled = true;
}

bool RecordingControl::TakeFolder(const std::string& folder, bool lock) {
    folderLock_.reset();
    if (!lock) return true;
    int err = 0;
    folderLock_ = files_.Open(folder + "/" + kFolderLockName, OpenMode::OpenAlways, err);
    if (folderLock_ && folderLock_->LockAlone() == EWOULDBLOCK) {
        folderLock_.reset();
        return false;
    }
    return true;
}

RecordSettings RecordingControl::RecordingSettings() const {
    RecordSettings settings = CurrentSettings();
    settings.RecordingsFolder = recordFolder_;
    return settings;
}

void RecordingControl::SetParsing(bool parsing) {
    IsParsing_ = parsing;
    controls_.Hourglass = parsing;
    view_.ParseBusy(parsing);
}

void RecordingControl::AfterParse(const ParseOutcome& outcome) {
    lastParse_ = outcome;
    // The breaks in the numbering and the channels not written, after the parse's own text.
    if (!outcome.Failed() && !outcome.Notes.empty()) {
        std::string more;
        if (outcome.Notes.size() > 1)
            more = " (and " + std::to_string(outcome.Notes.size() - 1) + " more" +
                   (outcome.GapsFile.empty() ? "" : ", see " + outcome.GapsFile) + ")";
        sink_.SetStat(outcome.Status + "; " + outcome.Notes[0] + more, StatStyle::Normal, StatKind::Sticky);
    }
    if (outcome.ShowDiagPanel) view_.ShowRecordDamage(outcome);
    if (outcome.OpenBrowser) view_.ShowRecordFiles(outcome.Wildcard);
}

void RecordingControl::ButtonCancelRecClick() {
    recorder_.StopAndClose();
    controls_.StartStopEnabled = false; // frames flowing again enable it
    controls_.StartStopCaption = "Start record";
    controls_.SettingsLocked = false;
    controls_.CancelEnabled = false;
    const RecordSettings settings = RecordingSettings();
    if (settings.DeleteRawRecord && settings.RawRecordFile.empty()) files_.Remove(RawRecordPath(settings));
    folderLock_.reset();
    static constexpr std::string_view kWords[] = {"Log recording"};
    sink_.ClearStatIfContains(kWords, 1);
}

void RecordingControl::SetButtonsEnabled(bool available) {
    if (!available && IsRecording()) StartStopButtonClick();
    controls_.StartStopEnabled = available && !IsParsing_;
}

void RecordingControl::OnFrameDelivered() {
    if (!IsRecording()) return;
    if (recorder_.LayoutChanged()) {
        // A reconnection brought another protocol or frame layout: this record ends here and
        // the frames from now on go into a new one.
        EndRecording(true);
        StartStopButtonClick();
        if (IsRecording())
            sink_.SetStat(" Log recording: a new record, the stream changed at the reconnection",
                          StatStyle::Normal, StatKind::Sticky); // the old record's result goes by
        return;
    }
    if (recorder_.LimitReached()) {
        StartStopButtonClick();
        return;
    }
    const int32_t sec = recorder_.RecSec.load(std::memory_order_relaxed);
    if (RecShown == sec) return;
    RecShown = sec;
    controls_.RecordedSec = std::to_string(RecShown);
    if (RecShown >= RecTotal) StartStopButtonClick();
}

ParseOutcome RecordingControl::ButtonParseOfflineClick(const std::string& chosen, bool bigEndian,
                                                       DataStreamFormat format) {
    if (chosen.empty()) return ParseOutcome{};
    OfflineRequest r;
    r.FileName = chosen;
    r.ProtocolType = s_.Ring.ProtocolType();
    r.BigEndian = bigEndian;
    r.Parse.Format = GetStreamFormat(format);
    r.Parse.VerifyChecksum = s_.Settings.VerifyChecksum.load();
    r.Parse.Settings = CurrentSettings();
    r.SwapFolder = r.Parse.Settings.RecordingsFolder;
    const ProfileSnapshot profile = TakeProfileSnapshot(s_.Decoder, r.ProtocolType);
    r.Parse.Profile = &profile;
    SetParsing(true);
    ParseOutcome outcome = ParseOffline(parser_, r);
    if (outcome.Opened) AfterParse(outcome);
    SetParsing(false);
    return outcome;
}

} // namespace vintrel

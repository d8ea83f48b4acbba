#pragma once
// Recording as the main window runs it: "Start record" / "End record", "Cancel record", the
// "Recorded, sec" clock with its time limit, the parse of a finished record, offline parses and
// the profile display. The window shows the state of the controls kept here and answers the
// questions; the command-line tool and the tests do the same without a window.
//
// Threads: everything here runs on the window thread except the raw recorder's OnFrame, which
// the parsing thread calls for every decoded frame (see RawRecorder).
#include "recording/OfflineParse.h"
#include "recording/ProfileDisplay.h"
#include "recording/RawRecorder.h"
#include "recording/RecordParser.h"
#include "recording/RecordSettings.h"
#include "recording/UserQuestions.h"
#include "stream/StreamState.h"

#include <functional>
#include <memory>
#include <string>

namespace vintrel {

// What the main window shows of the recording.
struct RecordControls {
    std::string StartStopCaption = "Start record";
    bool StartStopEnabled = false;
    bool CancelEnabled = false;
    bool SettingsLocked = false;   // "File name base", the time-stamp box and the stereo/mono buttons
    std::string RecordedSec = "0"; // "Recorded, sec"
    bool Hourglass = false;
};

class RecordingControl {
public:
    RecordingControl(StreamState& s, MessageSink& sink);
    ~RecordingControl();
    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    // The per-frame writer, to be added to the frame extractor's consumers.
    FrameConsumer& Consumer() { return recorder_; }

    // Read at the moments the settings are needed (start, end, parse).
    std::function<RecordSettings()> Settings;
    // Error boxes and damage questions. Without it errors go to the status line and damage is
    // skipped without asking.
    UserQuestions* Questions = nullptr;
    // The progress bar of a parse: percent, -1 hides it.
    std::function<void(int)> Progress;
    // The browser of the record's files (wildcard), and the diagnosis panel of a damaged record.
    std::function<void(const std::string&)> SelectMultipleItems;
    std::function<void(const ParseOutcome&)> ShowRecordDiagPanel;

    // "Start record" / "End record": starts a recording when none runs, else ends and parses it.
    void StartStopButtonClick();
    // "Cancel record": ends without parsing.
    void ButtonCancelRecClick();
    // The recording part of the button-enabling rule: with false a running recording is ended
    // (and parsed) and "Start record" disabled; with true it is enabled unless a record is parsed.
    void SetButtonsEnabled(bool available);
    // After each delivered frame: "Recorded, sec" and the time limit.
    void OnFrameDelivered();
    // "Parse Offline (expert)" with the chosen file (empty: cancelled).
    ParseOutcome ButtonParseOfflineClick(const std::string& chosen, bool bigEndian, DataStreamFormat format);

    bool IsRecording() const { return s_.Has(StreamState::FRecord); }
    bool IsParsing() const { return IsParsing_; }
    const RecordControls& Controls() const { return controls_; }
    const ParseOutcome& LastParse() const { return lastParse_; }
    RawRecorder& Recorder() { return recorder_; }
    RecordParser& Parser() { return parser_; }
    ProfileDisplay& Profile() { return profile_; }
    int ProtocolType() const { return s_.Ring.ProtocolType(); }

    int32_t RecTotal = 0;
    int32_t RecShown = 0; // not reset at start

private:
    // Hands the parser's questions to Questions, or answers them without a window.
    class QuestionsRelay;
    RecordSettings CurrentSettings() const { return Settings ? Settings() : RecordSettings{}; }
    // automatic: ended by the program (no old-protocol damage box then).
    void EndRecording(bool automatic = false);
    void AfterParse(const ParseOutcome& outcome);

    StreamState& s_;
    MessageSink& sink_;
    std::unique_ptr<QuestionsRelay> relay_;
    RawRecorder recorder_;
    RecordParser parser_;
    ProfileDisplay profile_;
    RecordControls controls_;
    ParseOutcome lastParse_;
    bool IsParsing_ = false;
};

} // namespace vintrel

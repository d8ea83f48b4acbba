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
#include "recording/RecordingView.h"
#include "recording/UserQuestions.h"
#include "stream/StreamState.h"

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
    // The files hold the raw record and what its parse writes; the view is the window's part.
    RecordingControl(StreamState& s, MessageSink& sink, FileSystem& files, RecordingView& view);
    ~RecordingControl();
    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    // The per-frame writer, to be added to the frame extractor's consumers.
    FrameConsumer& Consumer() { return recorder_; }

    // "Start record" / "End record": starts a recording when none runs, else ends and parses it.
    void StartStopButtonClick();
    // "Cancel record": ends without parsing.
    void ButtonCancelRecClick();
    // The recording part of the button-enabling rule: with false a running recording is ended
    // (and parsed) and "Start record" disabled; with true it is enabled unless a record is parsed.
    void SetButtonsEnabled(bool available);
    // After each delivered frame: "Recorded, sec" and the time limit.
    void OnFrameDelivered();
    // "Parse Offline (expert)" with the chosen file (empty: cancelled); a big-endian file's swapped
    // copy is made in the recordings folder.
    ParseOutcome ButtonParseOfflineClick(const std::string& chosen, bool bigEndian, DataStreamFormat format);

    bool IsRecording() const { return s_.Has(StreamState::FRecord); }
    bool IsParsing() const { return IsParsing_; }
    const RecordControls& Controls() const { return controls_; }
    const ParseOutcome& LastParse() const { return lastParse_; }
    RawRecorder& Recorder() { return recorder_; }
    RecordParser& Parser() { return parser_; }
    FileSystem& Files() { return files_; }
    ProfileDisplay& Profile() { return profile_; }
    int ProtocolType() const { return s_.Ring.ProtocolType(); }

    int32_t RecTotal = 0;
    int32_t RecShown = 0; // not reset at start

private:
    // Hands the parser's questions to the view's, or answers them without a window.
    class QuestionsRelay;
    RecordSettings CurrentSettings() const { return view_.RecordingSettings(); }
    // automatic: ended by the program (no old-protocol damage box then).
    void EndRecording(bool automatic = false);
    void AfterParse(const ParseOutcome& outcome);
    // The parse state and the hourglass, told to the view.
    void SetParsing(bool parsing);
    // Holds the recordings folder (with `lock`) from the start of a recording to the end of its
    // parse, so that another running copy does not record over its raw record. False when another
    // holds it; a folder where the lock file cannot be made is not refused here (creating the
    // record says why).
    bool TakeFolder(const std::string& folder, bool lock);
    // The settings with the folder the running recording was started in.
    RecordSettings RecordingSettings() const;

    StreamState& s_;
    MessageSink& sink_;
    FileSystem& files_;
    RecordingView& view_;
    std::unique_ptr<QuestionsRelay> relay_;
    RawRecorder recorder_;
    RecordParser parser_;
    ProfileDisplay profile_;
    RecordControls controls_;
    ParseOutcome lastParse_;
    bool IsParsing_ = false;
    std::unique_ptr<File> folderLock_;
    std::string recordFolder_; // the folder of the running recording and its parse
};

} // namespace vintrel

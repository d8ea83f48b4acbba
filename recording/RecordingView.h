#pragma once
// The window's part of the recording: the settings it holds, its question boxes, the progress
// bar of a parse, the browser of a record's files and the diagnosis panel of a damaged record.
// Without a window every part may stay as given here.
//
// Threads: the window thread.
#include "recording/ParseProgress.h"
#include "recording/RecordSettings.h"
#include "recording/UserQuestions.h"

#include <string>

namespace vintrel {

struct ParseOutcome;

class RecordingView : public ParseProgress {
public:
    // The settings as the window shows them now; read at the start, the end and every parse.
    virtual RecordSettings RecordingSettings() { return RecordSettings{}; }
    // Error boxes and damage questions. None: errors go to the status line and damage is
    // skipped without asking.
    virtual UserQuestions* RecordingQuestions() { return nullptr; }
    // The browser of the record's files, with the wildcard that selects them.
    virtual void ShowRecordFiles(const std::string& wildcard) {}
    // The diagnosis panel of a damaged record: its fragments, checksum errors and frames.
    virtual void ShowRecordDamage(const ParseOutcome& outcome) {}
    // The hourglass: true when a record's parse begins, false when it has ended, whatever the
    // outcome (boxes, errors and the results are shown in between).
    virtual void ParseBusy(bool busy) {}
};

} // namespace vintrel

#pragma once
// What the recorder and the record parser read from the settings dialog and the main window
// at the moment they need it: the output folder, the file names, what happens to the raw record
// and the time limit.
#include <cstdint>
#include <string>

namespace vintrel {

// The stereo/mono buttons of the settings dialog (kept hidden there). The parser receives the
// choice and still writes mono files.
enum class StereoChoice { Mono, RxInTx1In, Tx1InTx2In };

// How a break in the frame numbering is filled. Marker: a fixed stretch of silence per break
// (250 blocks in the new protocol, half a second of frames in the old). Exact: a forward gap gets
// exactly the missing frames' samples of silence; other breaks get the marker.
enum class GapFill { Marker, Exact };

struct RecordSettings {
    std::string RecordingsFolder = "."; // holds "temp.$$$" and every file of a record
    // The folder is held from the start of a recording to the end of its parse, and another
    // program holding it refuses to record (the window; the command-line tool writes where told).
    bool LockFolder = false;
    std::string FileNameBase;     // "File name base", trimmed when used
    bool IncludeTimeStamp = true; // "Include time stamp into filename"
    StereoChoice Stereo = StereoChoice::Mono;
    bool DeleteRawRecord = true;     // "Delete raw record after parsing"
    std::string MaxTimeText = "999"; // "Max time, sec"
    bool ShowFiles = true;           // "Open dialog with recorded files"
    GapFill Gaps = GapFill::Marker;  // how breaks in the frame numbering are filled
    std::string RawRecordFile;       // the raw record's path; empty: "temp.$$$" in RecordingsFolder
    int32_t FrameLimit = 0;          // a recording ends after this many frames; 0: no limit
    bool WriteMultichannel = false;  // also one WAV file of all raw channels, interleaved
    std::string Caption = "Tesmaro Sondrel V5.27k"; // the main window's caption, named in profile.c
};

// The text kept for a stereo pairing that cannot be made (the parser writes mono files only).
constexpr const char* kStereoImpossibleText =
    "Stereo impossible: incompatible frequencies/sizes or not both TX1, TX2 present\n"
    "(you can uncheck Stereo option and retry)";

// The start of the text for a multichannel file that cannot be made (its cause follows).
constexpr const char* kMultichannelImpossibleText = "Stereo impossible: incompatible frequencies/sizes";

// The raw record's file name inside the recordings folder.
constexpr const char* kRawRecordName = "temp.$$$";
// Where a recording writes its raw record.
inline std::string RawRecordPath(const RecordSettings& s) {
    return s.RawRecordFile.empty() ? s.RecordingsFolder + "/" + kRawRecordName : s.RawRecordFile;
}

// The file locked in the recordings folder while a recording or its parse uses the folder.
constexpr const char* kFolderLockName = ".vintrel.lock";

} // namespace vintrel

#pragma once
// Parses a raw record into one 16-bit mono WAV file per channel or per-frame parameter: finds the
// first frame marker, learns the record's tags from one frame near the start, lets the protocol's
// loop write every frame's blocks (padding missing chunks and gaps with silence so that all files
// stay sample-aligned), writes the headers and the PS-key reports, and reports on the status line.
//
// Threads: the window thread (the program's parse after a recording, offline parses, the
// command-line tool). One parse at a time per parser.
#include "recording/FileSystem.h"
#include "recording/ParseNotes.h"
#include "recording/ParseProgress.h"
#include "recording/ProfileSnapshot.h"
#include "recording/RecordProfile.h"
#include "recording/RecordReader.h"
#include "recording/RecordSettings.h"
#include "recording/UserQuestions.h"
#include "recording/WavFile.h"
#include "stream/MessageSink.h"
#include "stream/StreamFormat.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vintrel {

constexpr int kParseSlots = 32;
constexpr int kZeroWords = 1536;
constexpr int16_t kNoValue = -30000; // old-protocol header value missing, or a silent frame
constexpr int kNewGapBlocks = 250;   // silence for a break in the new protocol's frame numbers

struct TFileRecord {
    std::string Name;          // full path of the WAV file; empty when the slot has none
    WavFile* Handle = nullptr; // open file, or null
    int64_t FramesRecorded = 0;
};

// What a parse is told about the record.
struct ParseRequest {
    int ProtocolType = 1; // 1 new protocol, otherwise old
    StreamFormat Format;
    bool VerifyChecksum = true;
    bool WasRecording =
        false; // the program ended the record itself at a reconnection: no old-protocol damage box
    RecordSettings Settings;                  // folder, base, time stamp, browser, caption
    const ProfileSnapshot* Profile = nullptr; // data received live; none: no PS-key reports
    // The reports take the profile and table the record itself carries when it has them (a
    // parse of a saved record); `Profile` otherwise.
    bool ProfileFromRecord = false;
    // The largest data size of a WAV file (a test may lower it).
    uint64_t MaxWavDataBytes = kWavMaxDataBytes;
    // The longest exact gap fill in frames; 0: ten minutes of frames (a test may lower it).
    uint64_t MaxGapFrames = 0;
};

// "_20240131_142501_073": local time to the millisecond, as file names carry it.
std::string TimeStamp();

struct ParseOutcome {
    bool Opened = false;         // the record could be read
    bool WrongStructure = false; // no marker, or no tag table
    int32_t Portion = 0;
    int32_t badcs = 0;
    int64_t Frames = 0;
    std::string Status;                // the status line at the end
    bool ShowDiagPanel = false;        // the record is damaged: fragments and checksum errors to show
    bool OpenBrowser = false;          // the browser of recorded files gets Wildcard
    std::string Wildcard;              // folder + "/" + base + stamp + "*.*"
    std::vector<std::string> WavFiles; // the WAV files kept
    std::string MultichannelFile;      // the interleaved file of the raw channels, when written
    std::string MultichannelRefused;   // why it was not made, when it was asked for
    std::vector<std::string> Reports;  // PS-key and profile files written
    bool Aborted = false;              // the user chose ABORT
    bool LimitReached = false;         // the WAV files reached the largest size their header can state
    std::string KeptRawRecord;         // a record that could not be parsed was kept under this path
    bool WriteFailed = false;          // a WAV file could not be written whole
    std::vector<std::string> Notes;    // the breaks in the numbering and the channels not written
    std::string GapsFile;              // the breaks, one a line, when there were any
    std::vector<ParseBreak> Breaks;    // the breaks as values
    bool Failed() const { return !Opened || WrongStructure || Aborted || WriteFailed || WavFiles.empty(); }
};

class RecordParser {
public:
    // The progress bar, when there is one, shows how much of a record is parsed.
    RecordParser(MessageSink& sink, UserQuestions& questions, FileSystem& files,
                 ParseProgress* progress = nullptr);
    ~RecordParser();

    UserQuestions& Questions() { return questions_; }
    FileSystem& Files() { return files_; }

    // An empty name means the raw record in the recordings folder.
    ParseOutcome ParseRecordedAudio(const std::string& AudioFileName, const ParseRequest& request);

private:
    int64_t FindFileFrameStart(RecordReader& TempFileHandle);
    int FindNewProtocolFileTags(RecordReader& TempFileHandle, int SkipFrames);
    int FindOldProtocolFileTags(RecordReader& TempFileHandle);

    bool CreateRecordFiles(std::string& basePath);
    int64_t ParseNewProtocolTmpFile(RecordReader& TempFile, int64_t FSize);
    int64_t ParseOldProtocolTmpFile(RecordReader& TempFile, int TagsResult, int64_t FSize);
    int RecordFrame(const uint16_t* framebuf, int ValidCH);
    void RecordHeaders(RecordReader& TempFile);
    void CloseWaveFiles();
    // The raw channels' mono files interleaved, in the order of the record's table.
    void WriteMultichannelFile(const std::string& basePath, ParseOutcome& out);

    void AppendTag(int16_t tag, int& count);
    // The silence for a break in the new protocol's numbering: frame `next` follows frame `num`.
    void NewProtocolBreak(uint32_t num, uint32_t next, int datalen);
    // The silent frames for a new old-protocol fragment: a break in the numbering (`expected` was
    // due, `num` came) or, with the numbering intact, a new channel mask. False when the files
    // are full.
    bool OldProtocolBreak(uint16_t expected, uint16_t num, int fromMask, int toMask, int ValidCH);
    uint64_t GapCapFrames() const;
    // Samples in every file so far (they are aligned between frames).
    uint64_t SamplesWritten() const;
    void BuildSlotIndex();
    // Every slot with a file that is behind the one furthest ahead gets one zero block of `bytes`.
    int64_t AlignSlots(int bytes);
    // The sizes and frame counts at a frame's start, to go back to when the files are full.
    void MarkSlots();
    bool AnyFull() const;
    void RewindToMark();
    void ShowProgress(int64_t done, int64_t total);
    void WrongStructure(const std::string& name, ParseOutcome& out);

    MessageSink& sink_;
    UserQuestions& questions_;
    FileSystem& files_;
    ParseProgress* progress_;
    ParseRequest req_;
    std::array<int16_t, kParseSlots> TagsForFileParsing{};
    std::array<int, kParseSlots> rawSamples_{}; // a raw slot's samples per frame in the scanned frame
    std::array<TFileRecord, kParseSlots> FilesForFileParsing{};
    int32_t Portion = 0;
    int32_t badcs = 0;
    std::string headname;
    BlockWriter writer_; // the files' writes run in its thread while the parse goes on
    std::array<std::unique_ptr<WavFile>, kParseSlots> wav_;
    std::array<uint64_t, kParseSlots> markBytes_{};
    std::array<int64_t, kParseSlots> markFrames_{};
    std::unique_ptr<int8_t[]> slotOfTag_;    // 65536 entries: first slot of a tag, -1 none
    std::array<int8_t, kParseSlots> open_{}; // the slots with a file, in order
    int openCount_ = 0;
    std::unique_ptr<uint16_t[]> frame_; // one frame and the next frame's header
    std::array<uint16_t, kZeroWords> zero{};
    int firstBlockBytes_ = 0; // the first raw chunk of the scanned frame, in bytes; 0 none
    ParseNotes notes_;
    RecordProfile recordProfile_;
    int lastPercent_ = -1;
    std::vector<std::string> reportsWritten_;
    std::string reportError_;
    std::string writeError_;
    bool aborted_ = false;
    bool limitReached_ = false;
};

} // namespace vintrel

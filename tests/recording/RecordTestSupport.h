#pragma once
// What the recording tests share: a scratch folder, an independent WAV reader (Python's wave
// module), scripted answers to the parser's questions, and simulator records with the samples and
// diagnostics of every generated frame.
#include "recording/PosixFileSystem.h"
#include "recording/RecordParser.h"
#include "recording/UserQuestions.h"
#include "sim/Diagnostics.h"
#include "sim/StreamGenerator.h"
#include "stream/QueueSink.h"
#include "support/ScriptedTarget.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vintrel::test {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // File names in the folder, sorted.
    std::vector<std::string> List() const;

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The size of the file at path; -1 when there is none.
inline int64_t FileSize(const std::string& path) {
    return PosixFileSystem().SizeOf(path);
}
std::vector<uint8_t> ReadBytes(const std::string& path);

// A WAV file as Python's wave module reads it.
struct WavContent {
    bool ok = false;
    std::string error;
    int channels = 0, sampleWidth = 0, rate = 0;
    long frames = 0; // as the header says
    std::vector<int16_t> samples;
};
WavContent ReadWav(const std::string& path);
// A WAV file as sox reads it (WAVE_FORMAT_EXTENSIBLE too, which the wave module refuses); the
// error says "no sox" when sox is not installed.
WavContent ReadWavSox(const std::string& path);

class ScriptedQuestions : public UserQuestions {
public:
    std::deque<DamageAnswer> answers; // taken in turn; then `otherwise`
    DamageAnswer otherwise = DamageAnswer::Ignore;
    bool yes = true;
    std::vector<std::string> damage, yesNo, errors, messages; // the texts shown
    std::vector<std::string> captions;

    DamageAnswer AbortRetryIgnore(std::string_view caption, std::string_view text) override;
    bool YesNo(std::string_view caption, std::string_view text) override;
    void ErrorBox(std::string_view caption, std::string_view text) override;
    void MessageBox(std::string_view caption, std::string_view text) override;
};

// A simulated stream and, for every generated frame, whether it was sent, its samples by
// sim::SimChannel and its diagnostics, made alongside by the simulator's own signal models.
struct SimRecord {
    std::vector<uint8_t> bytes;
    std::vector<bool> emitted;
    std::vector<std::array<std::vector<int16_t>, sim::kSimChannelCount>> samples;
    std::vector<sim::DiagnosticValues> diagnostics;
};
SimRecord MakeSimRecord(const sim::StreamConfig& config, uint64_t frames);

// The samples of one channel over frames [first, first + count), concatenated.
std::vector<int16_t> ChannelSamples(const SimRecord& r, sim::SimChannel ch, size_t first, size_t count);

// A record parser writing "rec-NAME.wav" files (no time stamp) into a scratch folder; the record
// itself is "in.$$$" there.
struct ParseRig {
    ParseRig(int protocol, DataStreamFormat format);
    ParseOutcome Parse(const std::vector<uint8_t>& bytes);
    WavContent Wav(const std::string& param) const { return ReadWav(dir.File("rec-" + param + ".wav")); }
    std::vector<std::string> WavNames() const; // "Raw_TXIN1", ... sorted

    TempDir dir;
    QueueSink sink;
    ScriptedQuestions questions;
    PosixFileSystem files;
    RecordParser parser{sink, questions, files};
    ParseRequest request;
};

// Every sample of a file is `value`.
bool AllEqual(const std::vector<int16_t>& v, int16_t value);
// Samples [first, first + count) of v.
std::vector<int16_t> Slice(const std::vector<int16_t>& v, size_t first, size_t count);

// While it lives, files of this process and its children stop at `bytes` (a disk that fills up
// on the way): a write past it fails with "File too large" instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t oldCur_ = 0, oldMax_ = 0;
    void (*oldHandler_)(int) = nullptr;
};

// A real-time "8 Ksps, 4 ms" stream that changes under a recorder: an unnamed 0x2300 chunk
// closes every frame, RXin2 appears at frame 500 and the numbering skips the ten numbers
// 600-609. TX1in's samples are the frame number.
ScriptedTarget::Script TableChangeScript();

} // namespace vintrel::test

#include "recording/RecordParser.h"

#include "recording/FileCause.h"
#include "recording/MultichannelWav.h"
#include "recording/PskReports.h"
#include "stream/FrameLayout.h"
#include "stream/SystemError.h"
#include "stream/Tags.h"
#include "stream/Text.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vintrel {

namespace {
constexpr uint8_t kNewMarker[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE};
constexpr uint8_t kOldMarker[4] = {0xFE, 0x7F, 0x01, 0x80};
constexpr int kOldScanBytes = 1536;
constexpr size_t kFrameBufferWords = 32768 + 8; // the longest frame and the next header

} // namespace

std::string TimeStamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    char s[64];
    std::snprintf(s, sizeof s, "_%04d%02d%02d_%02d%02d%02d_%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, ms);
    return s;
}

RecordParser::RecordParser(MessageSink& sink, UserQuestions& questions, FileSystem& files,
                           ParseProgress* progress)
    : sink_(sink), questions_(questions), files_(files), progress_(progress),
      slotOfTag_(std::make_unique<int8_t[]>(65536)), frame_(std::make_unique<uint16_t[]>(kFrameBufferWords)) {
    for (auto& w : wav_) w = std::make_unique<WavFile>(files_, &writer_);
}

RecordParser::~RecordParser() = default;

int64_t RecordParser::FindFileFrameStart(RecordReader& f) {
    return req_.ProtocolType == 1 ? f.FindMarker(kNewMarker, sizeof kNewMarker)
                                  : f.FindMarker(kOldMarker, sizeof kOldMarker);
}

void RecordParser::AppendTag(int16_t tag, int& count) {
    for (int i = 0; i < count; ++i)
        if (TagsForFileParsing[i] == tag) return; // one file per tag: a second chunk of it changes nothing
    TagsForFileParsing[count++] = tag;
}

int RecordParser::FindNewProtocolFileTags(RecordReader& f, int SkipFrames) {
    TagsForFileParsing.fill(0);
    for (auto& s : FilesForFileParsing) s = TFileRecord{};
    auto* bytes = reinterpret_cast<uint8_t*>(frame_.get());
    size_t asked = 16, got = f.Read(bytes, 16);
    uint16_t header[8];
    std::memcpy(header, bytes, 16);
    int len = 0;
    for (int i = 0; i <= SkipFrames; ++i) {
        if (got < asked) return -1;
        len = header[kNewLengthWord];
        if (len < kNewMinFrameBytes || (len & 1)) return -1; // no frame can be that long
        asked = size_t(len);
        got = f.Read(bytes, asked);
        if (got == asked) std::memcpy(header, bytes + len - 16, 16);
    }
    // The data words of the last frame read, without its checksum word (and the look-ahead header).
    const uint16_t* w = frame_.get();
    const int dataEnd = std::min<int>(int(got / 2), len / 2 - 8) - 1;
    int count = 0;
    firstBlockBytes_ = 0;
    rawSamples_.fill(0);
    for (int i = 0; i < dataEnd;) {
        const uint16_t tag = w[i];
        if (tag <= kTagClipLast) {
            if (tag < kTagRawFirst || std::popcount(unsigned(tag & 0xFF)) != 1) return -1;
            if (count == kParseSlots) return kParseSlots;
            AppendTag(int16_t(tag), count);
            if (tag <= kTagRawLast && firstBlockBytes_ == 0) firstBlockBytes_ = 2 * w[i + 1];
            if (tag <= kTagRawLast && rawSamples_[size_t(count - 1)] == 0 &&
                TagsForFileParsing[size_t(count - 1)] == int16_t(tag))
                rawSamples_[size_t(count - 1)] = w[i + 1];
            i += 4 + (tag <= kTagRawLast ? w[i + 1] : 0);
        } else if (tag < kTagInfoFirst) {
            break; // the frame's chunks end here, as the live decoder takes them
        } else if (tag == kTagTargetInfo) {
            i += 4;
        } else if (tag == kTagMips) {
            if (count == kParseSlots) return kParseSlots;
            AppendTag(int16_t(tag), count);
            i += 4;
        } else if (tag == kTagProfile) {
            i += w[i + 1] + 4;
        } else {
            return -1;
        }
    }
    return count;
}

int RecordParser::FindOldProtocolFileTags(RecordReader& f) {
    TagsForFileParsing.fill(0);
    rawSamples_.fill(0); // every channel block has the format's length
    for (auto& s : FilesForFileParsing) s = TFileRecord{};
    uint16_t* w = frame_.get();
    if (f.Read(w, kOldScanBytes) < size_t(kOldScanBytes)) return -1;
    int mask = 31, count = 0;
    for (int k = 0; k < 14; ++k) {
        const uint16_t key = w[4 + 2 * k];
        const uint16_t value = w[5 + 2 * k];
        switch (key) {
        case kKeyCS:
            AppendTag(int16_t(kTagMips), count);
            break;
        case kKeyVL:
            AppendTag(int16_t(kTagVL), count);
            break;
        case kKeyNR:
            AppendTag(int16_t(kTagNR), count);
            break;
        case kKeyNT:
            AppendTag(int16_t(kTagNT), count);
            break;
        case kKeyUF:
            AppendTag(int16_t(kTagUF), count);
            break;
        case kKeyCH:
            mask = int16_t(value);
            break;
        default:
            break;
        }
    }
    // The same rule as for every frame of the record: a mask of 0 or less, or of 32 or more, is 31.
    if (mask <= 0 || mask >= 32) mask = 31;
    static constexpr uint16_t kChannelTags[5] = {kTagTxOut1, kTagRxOut1, kTagTxIn1, kTagTxIn2, kTagRxIn1};
    for (int b = 0; b < 5; ++b)
        if (mask & (1 << b)) AppendTag(int16_t(kChannelTags[b]), count);
    return count + 256 * mask;
}

bool RecordParser::CreateRecordFiles(std::string& basePath) {
    const RecordSettings& s = req_.Settings;
    basePath = s.RecordingsFolder + "/" + std::string(TrimBlanks(s.FileNameBase)) +
               (s.IncludeTimeStamp ? TimeStamp() : "-");
    bool ok = true;
    for (int i = 0; i < kParseSlots; ++i) {
        TFileRecord& r = FilesForFileParsing[i];
        r = TFileRecord{};
        if (TagsForFileParsing[i] == 0 || !ok) continue;
        const std::string name = GetParNameFromTag(uint16_t(TagsForFileParsing[i]), kMaxTagForFiles);
        if (name.size() < 2) continue;
        r.Name = basePath + name + ".wav";
        std::string error;
        if (!wav_[i]->Create(r.Name, error)) {
            // A missing or closed folder is named; only a file that exists may be in use.
            questions_.ErrorBox("Sondrel", error.rfind("folder ", 0) == 0
                                               ? "Can't open '" + r.Name + "' file\n" + error
                                               : "Can't open '" + r.Name +
                                                     "' file\nPerhaps you are using the file at this "
                                                     "time\nClose the file and restart recording\n" +
                                                     error);
            ok = false;
            continue;
        }
        wav_[i]->SetLimit(req_.MaxWavDataBytes);
        r.Handle = wav_[i].get();
    }
    headname = basePath + "PSK.txt";
    return ok;
}

void RecordParser::BuildSlotIndex() {
    std::memset(slotOfTag_.get(), -1, 65536);
    for (int i = kParseSlots - 1; i >= 0; --i)
        if (TagsForFileParsing[i] != 0) slotOfTag_[uint16_t(TagsForFileParsing[i])] = int8_t(i);
    openCount_ = 0;
    for (int i = 0; i < kParseSlots; ++i)
        if (FilesForFileParsing[i].Handle) open_[openCount_++] = int8_t(i);
}

int64_t RecordParser::AlignSlots(int bytes) {
    int64_t ahead = 0;
    for (int k = 0; k < openCount_; ++k)
        ahead = std::max(ahead, FilesForFileParsing[open_[k]].FramesRecorded);
    for (int k = 0; k < openCount_; ++k) {
        TFileRecord& r = FilesForFileParsing[open_[k]];
        while (r.FramesRecorded < ahead) {
            r.Handle->Fill(0, size_t(bytes));
            ++r.FramesRecorded;
        }
    }
    return ahead;
}

void RecordParser::MarkSlots() {
    for (int k = 0; k < openCount_; ++k) {
        const int i = int{open_[k]};
        markBytes_[i] = FilesForFileParsing[i].Handle->DataBytes();
        markFrames_[i] = FilesForFileParsing[i].FramesRecorded;
    }
}

bool RecordParser::AnyFull() const {
    for (int k = 0; k < openCount_; ++k)
        if (FilesForFileParsing[open_[k]].Handle->Full()) return true;
    return false;
}

void RecordParser::RewindToMark() {
    for (int k = 0; k < openCount_; ++k) {
        const int i = int{open_[k]};
        TFileRecord& r = FilesForFileParsing[i];
        r.Handle->TruncateData(markBytes_[i]);
        r.FramesRecorded = markFrames_[i];
    }
    limitReached_ = true;
}

uint64_t RecordParser::GapCapFrames() const {
    return req_.MaxGapFrames > 0 ? req_.MaxGapFrames
                                 : uint64_t(std::llround(600.0 * req_.Format.FramesPerSec));
}

uint64_t RecordParser::SamplesWritten() const {
    return openCount_ > 0 ? FilesForFileParsing[open_[0]].Handle->DataBytes() / 2 : 0;
}

void RecordParser::ShowProgress(int64_t done, int64_t total) {
    const int percent = total > 0 ? int(done * 100 / total) : 0;
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    if (progress_) progress_->ParseProgressChanged(percent);
}

void RecordParser::RecordHeaders(RecordReader& TempFile) {
    TempFile.Close();
    ProfileSnapshot own;
    const bool fromRecord = req_.ProfileFromRecord && recordProfile_.Snapshot(req_.ProtocolType, own);
    if (fromRecord || req_.Profile) {
        ProfileSnapshot profile = fromRecord ? own : *req_.Profile;
        profile.ProtocolType = req_.ProtocolType; // the protocol of this parse is the one in force
        ReportResult reports = WritePskReports(files_, profile, headname, req_.Settings.Caption);
        reportsWritten_ = std::move(reports.Written);
        reportError_ = std::move(reports.Error);
    }
    for (int i = 0; i < kParseSlots; ++i) {
        TFileRecord& r = FilesForFileParsing[i];
        if (!r.Handle) continue;
        if (Portion != 0) {
            r.Handle->WriteHeader(req_.Format.SamplingRateFromSettings);
        } else {
            r.Handle->Close();
            files_.Remove(r.Name);
            r.Handle = nullptr;
        }
    }
}

void RecordParser::CloseWaveFiles() {
    for (TFileRecord& r : FilesForFileParsing) {
        if (!r.Handle) continue;
        r.Handle->Close();
        if (r.Handle->Error() && writeError_.empty())
            writeError_ = "write error on " + r.Name + ": " + SystemErrorText(r.Handle->Error());
        r.Handle = nullptr;
        if (r.FramesRecorded == 0 || files_.SizeOf(r.Name) < 64 * r.FramesRecorded + kWavHeaderBytes)
            files_.Remove(r.Name);
    }
}

void RecordParser::WriteMultichannelFile(const std::string& basePath, ParseOutcome& out) {
    std::vector<std::string> sources;
    int first = -1;
    for (int i = 0; i < kParseSlots; ++i) {
        const uint16_t tag = uint16_t(TagsForFileParsing[size_t(i)]);
        const std::string& name = FilesForFileParsing[size_t(i)].Name;
        if (tag < kTagRawFirst || tag > kTagRawLast || name.empty() ||
            std::find(out.WavFiles.begin(), out.WavFiles.end(), name) == out.WavFiles.end())
            continue;
        if (first < 0) {
            first = i;
        } else if (rawSamples_[size_t(i)] != rawSamples_[size_t(first)]) {
            auto channel = [this](int slot) {
                return GetParNameFromTag(uint16_t(TagsForFileParsing[size_t(slot)]), kMaxTagForFiles) + " " +
                       std::to_string(rawSamples_[size_t(slot)]) + " samples";
            };
            out.MultichannelRefused = std::string(kMultichannelImpossibleText) + " (" + channel(first) +
                                      ", " + channel(i) + " per frame)";
            return;
        }
        sources.push_back(name);
    }
    if (sources.empty()) return;
    const std::string path = basePath + "multichannel.wav";
    MultichannelWav wav(files_);
    std::string error;
    switch (wav.Write(sources, path, req_.Format.SamplingRateFromSettings, req_.MaxWavDataBytes, error)) {
    case MultichannelEnd::LimitReached:
        limitReached_ = true;
        [[fallthrough]];
    case MultichannelEnd::Written:
        out.MultichannelFile = path;
        break;
    case MultichannelEnd::Failed:
        if (writeError_.empty()) writeError_ = error;
        break;
    }
}

void RecordParser::WrongStructure(const std::string& name, ParseOutcome& out) {
    out.WrongStructure = true;
    questions_.ErrorBox("Sondrel", "Can't parse recorded file " + name +
                                       " : wrong file structure.\nCheck protocol "
                                       "and Sampling Rate");
    out.Status = "Can't parse recorded file " + name + " : wrong file structure.";
    sink_.SetStat(out.Status, StatStyle::Normal, StatKind::Sticky);
}

ParseOutcome RecordParser::ParseRecordedAudio(const std::string& AudioFileName, const ParseRequest& request) {
    req_ = request;
    ParseOutcome out;
    const std::string name = AudioFileName.empty() ? RawRecordPath(req_.Settings) : AudioFileName;
    RecordReader f(files_);
    std::string error;
    if (!f.Open(name, error)) {
        // A file that is not there is said to be missing, not perhaps busy.
        questions_.ErrorBox("Sondrel", IsMissingFile(f.OpenErrno())
                                           ? "Can't open audio record file\n" + error
                                           : "Can't open audio record file\nPerhaps you are keeping " + name +
                                                 " file busy elsewhere\nor working in protected directory\n" +
                                                 error);
        CloseWaveFiles();
        return out;
    }
    out.Opened = true;
    const int64_t FSize = f.Size();
    const int64_t first = FindFileFrameStart(f);
    if (first < 0) {
        WrongStructure(name, out);
        return out;
    }
    const float fps = req_.Format.FramesPerSec;
    const int tags = req_.ProtocolType == 1
                         ? FindNewProtocolFileTags(f, int(RoundHalfEven(1000.0 / req_.Format.MsPerFrame)))
                         : FindOldProtocolFileTags(f);
    if (tags < 1) {
        WrongStructure(name, out);
        return out;
    }

    lastPercent_ = -1;
    ShowProgress(0, 1);
    Portion = badcs = 0;
    aborted_ = limitReached_ = false;
    reportsWritten_.clear();
    reportError_.clear();
    writeError_.clear();
    notes_.Clear();
    recordProfile_.Clear();
    std::string basePath;
    int64_t frames = 0;
    const bool created = CreateRecordFiles(basePath);
    BuildSlotIndex();
    if (created) {
        f.Seek(first);
        frames = req_.ProtocolType == 1 ? ParseNewProtocolTmpFile(f, FSize)
                                        : ParseOldProtocolTmpFile(f, tags, FSize);
    } else {
        // Without all of its files a record cannot stay aligned: nothing is parsed.
        Portion = 0;
        RecordHeaders(f);
    }
    for (const TFileRecord& r : FilesForFileParsing)
        if (r.Handle) out.WavFiles.push_back(r.Name);
    CloseWaveFiles();
    std::erase_if(out.WavFiles, [this](const std::string& n) { return files_.SizeOf(n) < 0; });
    if (req_.Settings.WriteMultichannel && !out.WavFiles.empty()) WriteMultichannelFile(basePath, out);
    if (progress_) progress_->ParseProgressChanged(-1);

    out.Portion = Portion;
    out.badcs = badcs;
    out.Frames = frames;
    out.Aborted = aborted_;
    out.LimitReached = limitReached_;
    out.Reports = reportsWritten_;
    const std::string secs = std::to_string(RoundHalfEven(double(frames) / fps));
    out.Status =
        req_.ProtocolType == 1
            ? " " + std::to_string(Portion) + " consistent fragment(s), total " + std::to_string(frames) +
                  "valid frames (" + secs + " sec) recorded"
            : " " + std::to_string(Portion) + " consistent fragment(s), total " + secs + " sec recorded";
    if (limitReached_)
        out.Status += "; WAV files reached their 4 GiB size limit, the rest of the record is not parsed";
    if (!writeError_.empty()) out.Status += "; " + writeError_;
    if (!reportError_.empty()) out.Status += "; " + reportError_;
    out.WriteFailed = !writeError_.empty();
    out.Notes = notes_.Lines();
    out.Breaks = notes_.Breaks();
    if (notes_.AnyBreak() && !out.WavFiles.empty()) {
        std::string gapsError;
        if (notes_.WriteBreaks(files_, basePath + "gaps.txt", gapsError))
            out.GapsFile = basePath + "gaps.txt";
        else
            out.Status += "; " + gapsError;
    }
    if (out.WavFiles.empty()) out.Status += "; no WAV file was written";
    sink_.SetStat(out.Status, StatStyle::Normal, StatKind::Sticky);
    out.ShowDiagPanel = badcs != 0 || Portion >= 2;
    out.Wildcard = basePath + "*.*";
    out.OpenBrowser = frames > RoundHalfEven(fps) && req_.Settings.ShowFiles &&
                      !FilesForFileParsing[0].Name.empty() && files_.SizeOf(FilesForFileParsing[0].Name) >= 0;
    return out;
}

} // namespace vintrel

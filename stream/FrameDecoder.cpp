#include "stream/FrameDecoder.h"

#include "stream/FrameLayout.h"
#include "stream/Tags.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vintrel {

static_assert(std::endian::native == std::endian::little,
              "frame words are normalised to the host's little-endian order");

FrameDecoder::FrameDecoder(TagModel& tags, DecoderSettings& settings, MessageSink* sink)
    : Buf(std::make_unique<std::array<FrameBuffer, kFrameBuffers>>()), tags_(tags), settings_(settings),
      sink_(sink) {
    // make_unique value-initialises the buffers: they start zeroed.
    InitEveryFrInfo();
    NewProtHeaderScarceDataInit();
}

void FrameDecoder::InitEveryFrInfo() {
    for (auto& r : HeaderEveryFrInfo) {
        r.VadStatus.fill(kNotAvailable);
        r.NoiseDetect.fill(kNotAvailable);
        r.AGC.fill(kNotAvailable);
        r.ChannMax.fill(kNotAvailable);
    }
}

void FrameDecoder::CopyAndSwap(const ReceiveRing& ring, uint32_t bytes, int FrameBufN) {
    bytes = std::min<uint32_t>(bytes, kFrameBufWords * 2);
    auto* dst = reinterpret_cast<uint8_t*>((*Buf)[FrameBufN].data());
    ring.CopyOut(ring.ParseIndx(), dst, bytes);
    if (settings_.BigEndian.load(std::memory_order_relaxed)) {
        uint16_t* w = reinterpret_cast<uint16_t*>(dst);
        for (uint32_t i = 0; i < bytes / 2; ++i) w[i] = static_cast<uint16_t>(w[i] << 8 | w[i] >> 8);
    }
}

void FrameDecoder::ResetRecord(TNewProtHeaderEveryFrameData& r, bool newProt) {
    r.VadStatus.fill(kNotAvailable);
    r.NoiseDetect.fill(kNotAvailable);
    r.AGC.fill(kNotAvailable);
    r.ChannMax.fill(kNotAvailable);
    r.SamplesPtr.fill(nullptr);
    r.FrameLen.fill(0);
    r.SampleIndInBuf.fill(0);
    r.MIPS = r.maxMIPS = r.Volume = kNotAvailable;
    r.RXOUTforDelay = r.TXINforDelay = nullptr;
    if (newProt) {
        r.RXOUTmaxForDelay = r.TXINmaxForDelay = 0;
    } else {
        r.UF = kNotAvailable; // the new protocol leaves UF to the window's reset
    }
}

void FrameDecoder::ApplyPendingInit() {
    if (scarceInitRequested_.exchange(false)) NewProtHeaderScarceDataInit();
}

static int16_t MaxOf(const int16_t* p, int n) {
    if (n <= 0) return 0;
    int16_t m = p[0];
    for (int j = 1; j < n; ++j) m = std::max(m, p[j]);
    return m;
}

int FrameDecoder::ParseNewProtocolFrame(int size_words, int FrameBufN) {
    ApplyPendingInit();
    TNewProtHeaderEveryFrameData& r = HeaderEveryFrInfo[FrameBufN];
    ResetRecord(r, true);
    int result = kDecodeOk;
    lastMalformed_ = false;
    tags_.SetupSelectableTagsToCheckChanges();

    const uint16_t* w = reinterpret_cast<const uint16_t*>((*Buf)[FrameBufN].data());
    const int last = size_words - 1; // the checksum word
    uint16_t checksum = 0;
    int nexttag = kNewFirstTagWord;
    for (int i = 0; i < last; ++i) {
        checksum ^= w[i];
        if (i != nexttag) continue;
        const uint16_t tag = w[i];
        const uint16_t len = w[i + 1];
        const int size = tag < kTagAmplFirst ? 4 + len : ChunkSizeWords(tag, len);
        // A chunk that runs into the checksum word is damaged: its values would be read from the
        // checksum or from an older frame. What lies before it is kept. Sample chunks are the
        // exception, below.
        const bool fits = size == 0 || i + size <= last;
        const TChart chart = tags_.Tag2Chart(static_cast<int16_t>(tag));
        if (tag < kTagDiagFirst) {
            const int bit = BitToNum(tag & 0xFF);
            if (bit < 0) {
                result = kDecodeBadTag;
                nexttag = -1; // no later word is taken as a tag
                continue;
            }
            const int slot = ((int(tag) - kTagRawFirst) / 256) * 8 + bit;
            tags_.Collect(slot, static_cast<int16_t>(tag));
            if (tag > kTagRawLast) {
                if (!fits) {
                    result = kDecodeBadTag;
                    nexttag = -1;
                    continue;
                }
                if (chart != NOCHART) r.ChannMax[chart] = static_cast<int16_t>(w[i + 2]);
                nexttag += 4;
                continue;
            }
            const int n = fits ? len : std::max(0, last - (i + 4)); // samples that lie inside the frame
            int16_t* samples = WordPtr(FrameBufN, i + 4);
            if (chart != NOCHART) {
                r.SamplesPtr[chart] = samples;
                r.FrameLen[chart] = static_cast<int16_t>(n);
                r.SampleIndInBuf[chart] = static_cast<int16_t>(i + 4);
            }
            if (n > 0) {
                if (tag >= kTagTxInFirst && tag <= kTagTxInLast) {
                    if (!r.TXINforDelay) {
                        r.TXINforDelay = samples;
                        r.TXINmaxForDelay = MaxOf(samples, n);
                    }
                } else if (tag >= kTagRxOutFirst && tag <= kTagRxOutLast && !r.RXOUTforDelay) {
                    r.RXOUTforDelay = samples;
                    r.RXOUTmaxForDelay = MaxOf(samples, n);
                }
            }
            if (!fits) {
                // A sample chunk whose count runs past the frame is kept with the samples the frame
                // holds and counted as malformed; the frame stays good, so it is recorded. Nothing
                // behind it can be told from samples. The unassigned tags below kTagRawFirst are damage.
                if (tag >= kTagRawFirst)
                    lastMalformed_ = true;
                else
                    result = kDecodeBadTag;
                nexttag = -1;
                continue;
            }
            nexttag += 4 + len;
            continue;
        }
        if (!fits) {
            result = kDecodeBadTag;
            nexttag = -1;
            continue;
        }
        if (tag < kTagInfoFirst) {
            switch (tag & kTagGroupMask) {
            case kTagNoiseTx:
            case kTagNoiseRx:
                if (chart != NOCHART) r.NoiseDetect[chart] = static_cast<int16_t>(w[i + 2]);
                break;
            case kTagVadTx:
            case kTagVadRx:
                if (chart != NOCHART) r.VadStatus[chart] = static_cast<int16_t>(w[i + 2]);
                break;
            case kTagAgcTx:
            case kTagAgcRx:
                if (chart != NOCHART) r.AGC[chart] = static_cast<int16_t>(w[i + 2]);
                break;
            case kTagEnergyTx:
            case kTagEnergyRx:
                break;
            default:
                if (tag >= kTagClipFirst && tag <= kTagClipLast) break;
                nexttag = -1; // after the clip tags the walk ends, the frame is not faulted
                continue;
            }
            nexttag += 4;
            continue;
        }
        switch (tag) {
        case kTagTargetInfo:
            TargetInfo(len, static_cast<int16_t>(w[i + 2]));
            nexttag += 4;
            break;
        case kTagMips:
            r.maxMIPS = static_cast<int16_t>(len);
            r.MIPS = static_cast<int16_t>(w[i + 2]);
            tags_.CollectMIPS = static_cast<int16_t>(kTagMips);
            nexttag += 4;
            break;
        case kTagProfile:
            NewProtParseChunk(len, static_cast<int16_t>(w[i + 2]), static_cast<int16_t>(w[i + 3]), FrameBufN,
                              i + 4);
            nexttag += 4 + len;
            break;
        default:
            result = kDecodeBadTag;
            nexttag = -1;
            break;
        }
    }
    CanCalculateDelay = r.RXOUTforDelay && r.TXINforDelay;
    lastBadTag_ = result == kDecodeBadTag;
    if (size_words >= 1 && w[last] != checksum && settings_.VerifyChecksum.load(std::memory_order_relaxed))
        result = kDecodeBadChecksum;
    tags_.CheckSelectableTagsChanged();
    return result;
}

void FrameDecoder::TargetInfo(uint16_t info, int16_t revision) {
    if (info == lastInfo_ && revision == lastRevision_) return; // shown already
    lastInfo_ = info;
    lastRevision_ = revision;
    auto& s = NewProtHeaderScarceData;
    s.PlatformID = PlatformName(info & 0xFF);
    s.VexilprofileNum = std::to_string(info >> 8);
    s.Vexilrevision = std::to_string(revision);
    {
        std::lock_guard lock(infoMutex_);
        statString_ = "Platform: " + s.PlatformID + ", " + "Profile ver: " + s.VexilprofileNum + ", " +
                      "Vexil revision: " + s.Vexilrevision;
        published_.PlatformID = s.PlatformID;
        published_.VexilprofileNum = s.VexilprofileNum;
        published_.Vexilrevision = s.Vexilrevision;
    }
    // This thread is the string's only writer, so it reads it without the lock. The status line
    // gets it once per change, not with every frame that carries it nor again after a reset of
    // the target information that brings back the same text.
    if (statString_ == postedStat_) return;
    postedStat_ = statString_;
    if (sink_) sink_->SetStat(statString_, StatStyle::Normal, StatKind::OnChange);
}

void FrameDecoder::NewProtParseChunk(int ChunkLenWords, int ChunkNo, int WordsLeftToSend, int FrameBufN,
                                     int DataIndexInBuf) {
    auto& s = NewProtHeaderScarceData;
    const bool restart =
        ChunkNo - s.CurrentChunkNo != 1 ||
        (ChunkNo > 0 && WordsLeftToSend > 0 && s.ProfileWordsLeftToRecord - ChunkLenWords != WordsLeftToSend);
    if (restart) {
        // Only the profile starts again: the target's platform, which every frame carries, stays.
        RestartProfileCollection();
        // A profile is published only when it was collected from its chunk 0 on. A chunk from the
        // middle of a transmission (the receiver joined late, or chunks were lost) is dropped: the
        // last chunk on its own is not the profile.
        if (ChunkNo != 0) return;
    }
    // A profile longer than the table is refused whole: the transmission restarts and this
    // chunk is dropped, so no truncated profile is ever published.
    if (s.ProfileWordsAlreadyRecorded + ChunkLenWords > kPskTabWords) {
        RestartProfileCollection();
        return;
    }
    const int truelen = (s.ProfileWordsLeftToRecord > 0 && s.ProfileWordsLeftToRecord < ChunkLenWords)
                            ? s.ProfileWordsLeftToRecord
                            : ChunkLenWords;
    for (int j = 0; j < ChunkLenWords; ++j)
        PskTab[s.ProfileWordsAlreadyRecorded + j].store((*Buf)[FrameBufN][DataIndexInBuf + j],
                                                        std::memory_order_relaxed);
    s.CurrentChunkNo += 1;
    s.ProfileWordsAlreadyRecorded = static_cast<int16_t>(s.ProfileWordsAlreadyRecorded + truelen);
    s.ProfileWordsLeftToRecord = static_cast<int16_t>(WordsLeftToSend);
    if (WordsLeftToSend == 0) NewProtHeaderScarceDataCopyClean();
}

void FrameDecoder::NewProtHeaderScarceDataInit() {
    auto& s = NewProtHeaderScarceData;
    s.PlatformID.clear();
    s.VexilprofileNum.clear();
    s.Vexilrevision.clear();
    lastInfo_ = -1;
    {
        std::lock_guard lock(infoMutex_);
        statString_.clear();
    }
    RestartProfileCollection();
}

void FrameDecoder::RestartProfileCollection() {
    auto& s = NewProtHeaderScarceData;
    s.ProfileWordsAlreadyRecorded = 0;
    s.FullProfileWords = 0;
    s.ProfileWordsLeftToRecord = -2;
    s.CurrentChunkNo = -1;
    s.Checksum = 0;
    s.ShownChecksum = 0;
    for (auto& v : PskTab) v.store(0, std::memory_order_relaxed);
    CheckPsk = 0;
    std::lock_guard lock(infoMutex_);
    published_ = s;
}

void FrameDecoder::NewProtHeaderScarceDataCopyClean() {
    auto& s = NewProtHeaderScarceData;
    uint32_t sum = 0;
    for (int j = 0; j < s.ProfileWordsAlreadyRecorded; ++j) {
        const int16_t v = PskTab[j].load(std::memory_order_relaxed);
        LastPsk[j].store(v, std::memory_order_relaxed);
        sum += static_cast<uint16_t>(v);
    }
    s.FullProfileWords = s.ProfileWordsAlreadyRecorded;
    s.Checksum = sum;
    s.ProfileWordsAlreadyRecorded = 0;
    s.ProfileWordsLeftToRecord = -2;
    s.CurrentChunkNo = -1;
    for (auto& v : PskTab) v.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(infoMutex_);
        published_.FullProfileWords = s.FullProfileWords;
        published_.Checksum = s.Checksum;
    }
    CheckPsk.store(2, std::memory_order_release);
}

TNewProtHeaderScarceData FrameDecoder::ScarceDataCopy() const {
    std::lock_guard lock(infoMutex_);
    return published_;
}

std::string FrameDecoder::StatString() const {
    std::lock_guard lock(infoMutex_);
    return statString_;
}

int FrameDecoder::ParseOldProtocolFrame(int size_words, int FrameBufN, int oldProtCH) {
    ApplyPendingInit();
    TNewProtHeaderEveryFrameData& r = HeaderEveryFrInfo[FrameBufN];
    static constexpr TChannel kOrder[5] = {TXOUT, RXOUT, TX1IN, TX2IN, RXIN};
    TChart chartOf[8] = {};
    for (TChannel c : kOrder) chartOf[c] = tags_.Channel2ChartOldProt(c);
    ResetRecord(r, false);

    const uint16_t* w = reinterpret_cast<const uint16_t*>((*Buf)[FrameBufN].data());
    const int idx = w[kOldCounterWord] & 0xFF;
    if (idx == 0 && w[kOldPskWord] == kOldPskTableMark) CheckPsk.fetch_add(1, std::memory_order_relaxed);
    if (idx < kOldPskEntries)
        PskTab[idx].store(static_cast<int16_t>(w[kOldPskWord]), std::memory_order_relaxed);

    tags_.SetupSelectableTagsToCheckChanges();
    for (int k = 0; k < kOldKeyPairs; ++k) {
        const uint16_t key = w[kOldFirstKeyWord + 2 * k];
        const int16_t value = static_cast<int16_t>(w[kOldFirstKeyWord + 2 * k + 1]);
        switch (key) {
        case kKeyCS:
            r.MIPS = value;
            r.maxMIPS = 0;
            tags_.CollectMIPS = static_cast<int16_t>(kKeyCS);
            break;
        case kKeyVL:
            r.Volume = value;
            break;
        case kKeyUF:
            r.UF = value;
            break;
        case kKeyNT:
            if (chartOf[TX1IN] != NOCHART) r.NoiseDetect[chartOf[TX1IN]] = value;
            if (chartOf[TX2IN] != NOCHART) r.NoiseDetect[chartOf[TX2IN]] = value;
            break;
        case kKeyNR:
            if (chartOf[RXIN] != NOCHART) r.NoiseDetect[chartOf[RXIN]] = value;
            break;
        default:
            break;
        }
    }

    const int chanLen = settings_.ChannLenWords.load(std::memory_order_relaxed);
    const int mask = OldProtMaskClamp(oldProtCH);
    int block = 1;
    for (int b = 0; b < 5; ++b) {
        if (!(mask & (1 << b))) continue;
        if ((block + 1) * chanLen > size_words) break; // the frame was cut to fewer blocks
        const TChannel c = kOrder[b];
        int16_t* samples = WordPtr(FrameBufN, chanLen * block);
        if (chartOf[c] != NOCHART) {
            r.FrameLen[chartOf[c]] = static_cast<int16_t>(chanLen);
            r.SampleIndInBuf[chartOf[c]] = static_cast<int16_t>(chanLen * block);
            r.SamplesPtr[chartOf[c]] = samples;
        }
        tags_.Channel2CollectPlottableTags(c);
        if (c == RXOUT && !r.RXOUTforDelay) {
            r.RXOUTforDelay = samples;
            r.RXOUTmaxForDelay = MaxOf(samples, chanLen);
        } else if ((c == TX1IN || c == TX2IN) && !r.TXINforDelay) {
            r.TXINforDelay = samples;
            r.TXINmaxForDelay = MaxOf(samples, chanLen);
        }
        ++block;
    }
    CanCalculateDelay = r.RXOUTforDelay && r.TXINforDelay;
    tags_.CheckSelectableTagsChanged();
    return kDecodeOk;
}

} // namespace vintrel

#include "stream/FrameExtractor.h"

#include "stream/FrameLayout.h"

#include <algorithm>
#include <cstdlib>

namespace vintrel {

constexpr uint32_t kUnmarkedKeep = 256; // bytes kept when noise without a marker is dropped

void FrameExtractor::Start() {
    frameBufN_ = 0;
    framesFromStart_ = 0;
    prevFrameNum_ = 0;
    synced_ = false;
    frameBytes_ = 0;
    Silent().Restart();
    formatCheck_.Start();
}

void FrameExtractor::CheckFormat(bool silent) {
    FormatFinding f;
    if (!formatCheck_.Due(s_.Ticks.Now(), silent, s_.Sync().BigEndian, s_.FormatChoice(), f) ||
        !f.Contradicts())
        return;
    uintptr_t w;
    intptr_t l;
    PackFinding(f, w, l);
    s_.Sink.Post(WM_FORMAT_REPORT, w, l);
}

void FrameExtractor::LoseSync(ParserAsk ask) {
    synced_ = false;
    s_.Control.Ask(ask);
}

void FrameExtractor::ReportLostSync() {
    s_.Sink.Post(WM_TRANSPORT_REPORT, s_.Control.TransportIs(), 1);
}

bool FrameExtractor::Search() {
    // The end of what this search sees; the transport may add bytes behind it meanwhile.
    const uint32_t searchedEnd = s_.Ring.ParseIndx() + s_.Ring.Unparsed();
    const int32_t len = ring_.FindStartPointInCycBuf(false, s_.Sync());
    if (len > 0) {
        synced_ = true;
        frameBytes_ = uint32_t(len);
        s_.Control.Ask(ParserAsk::Running, frameBytes_);
        return true;
    }
    // Bytes in which no marker was found can never start a frame. Keep only a tail that may hold
    // the beginning of one, so that a stream of noise cannot fill the ring. Bytes that came
    // after the search began have not been looked at and stay.
    const uint32_t parse = s_.Ring.ParseIndx();
    if (((searchedEnd - parse) & kRingMask) > kUnmarkedKeep * 2) ring_.SkipTo(searchedEnd - kUnmarkedKeep);
    return false;
}

void FrameExtractor::OnWaitTimedOut(uint32_t waitedMs) {
    CheckFormat(true);
    const Transport* t = s_.Control.Open();
    const Silence v = Silent().WaitRanOut(waitedMs, t ? t->Pending() : 0, s_.Control.TransportIs(),
                                          s_.Control.ConnectingEntries());
    if (v == Silence::None) return;
    if (v == Silence::GiveUp) {
        // Whole frames already in the ring are taken first; only the incomplete rest is given up.
        const uint32_t givenUpAt = s_.Ring.ParseIndx() + s_.Ring.Unparsed();
        Round(TransportEvent::DataArrived, false, true);
        const TTransportState st = s_.Control.State();
        if (st != RUNNING && st != SYNCHRONIZING) return;
        // What was unparsed when the link was given up goes; bytes that came since stay.
        if (((givenUpAt - s_.Ring.ParseIndx()) & kRingMask) <= s_.Ring.Unparsed()) ring_.SkipTo(givenUpAt);
    }
    ReportLostSync();
    if (v == Silence::GiveUp) LoseSync(ParserAsk::Connecting);
}

void FrameExtractor::FallBack(TransportEvent woke) {
    const Silence v = Silent().NoWholeFrame(woke == TransportEvent::DataTimedOut, s_.Control.TransportIs(),
                                            s_.Control.ConnectingEntries());
    if (v == Silence::None) return;
    ReportLostSync();
    if (v == Silence::Resync) LoseSync(ParserAsk::Synchronizing);
    if (v == Silence::Reconnect) LoseSync(ParserAsk::Connecting);
}

int FrameExtractor::Round(TransportEvent woke, bool fallBack, bool last) {
    if (woke == TransportEvent::SwitchedToRunning) Silent().Restart();
    formatCheck_.SeeBytes(s_.Ring, s_.Ticks.Now());
    int taken = 0;
    for (;;) {
        if (!synced_ && !Search()) {
            if (fallBack) FallBack(woke);
            break;
        }
        const uint32_t avail = s_.Ring.Unparsed();
        const int32_t len = avail > 0 ? ring_.FindStartPointInCycBuf(true, s_.Sync()) : 0;
        if (len == -1) {
            // The next frame does not start where the last one ended: look for it from here.
            LoseSync(ParserAsk::Synchronizing);
            Silent().SearchAsked();
            continue;
        }
        if (avail == 0 || len == 0 || uint32_t(len) > avail) {
            if (fallBack) FallBack(woke);
            break;
        }
        s_.HandOff.Acquire(frameBufN_);
        s_.Decoder.CopyAndSwap(s_.Ring, uint32_t(len), frameBufN_);
        uint32_t restart;
        const Cut cut = CutShort(uint32_t(len), avail, last, &restart);
        if (cut == Cut::Yes) {
            // The target stopped in the middle of this frame and started a new one: drop the
            // stump and go on at the new frame instead of splicing the two.
            ring_.SkipTo(restart);
            continue;
        }
        if (cut == Cut::Undecided) {
            // The bytes after the frame decide: the next read brings them.
            if (fallBack) FallBack(woke);
            break;
        }
        TakeFrame(uint32_t(len));
        ++taken;
        frameBytes_ = uint32_t(len);
        if (s_.Ring.Unparsed() < uint32_t(len)) break;
    }
    // Frames flow while the transport thread still waits in SYNCHRONIZING (or its request got
    // lost in CONNECTING): tell it again how long they are.
    if (taken > 0 && synced_ && s_.Control.State() != RUNNING)
        s_.Control.Ask(ParserAsk::Running, frameBytes_);
    CheckFormat(false);
    return taken;
}

FrameExtractor::Cut FrameExtractor::CutShort(uint32_t len, uint32_t avail, bool last, uint32_t* restart) {
    if (s_.Ring.ProtocolType() != 1 || !s_.Settings.VerifyChecksum.load(std::memory_order_relaxed))
        return Cut::No;
    const auto* w = reinterpret_cast<const uint16_t*>(s_.Decoder.WordPtr(frameBufN_, 0));
    const uint32_t words = len / 2;
    if (w[words - 1] == FrameChecksum(w, words)) return Cut::No;
    // Only a frame that fails its checksum is searched for the start of another one. That start
    // may lie anywhere behind the first byte, even so close to the end that its marker or its
    // length word runs past the frame: the bytes after the frame are looked at, once they are here.
    static constexpr uint8_t kMarker[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE};
    const uint32_t start = s_.Ring.ParseIndx();
    const bool bigEndian = s_.Sync().BigEndian;
    for (uint32_t off = 1; off < len; ++off) {
        const uint32_t at = (start + off) & kRingMask;
        const uint32_t here = avail - off; // bytes from `at` on that have arrived
        const uint32_t compared = std::min<uint32_t>(here, sizeof kMarker);
        uint32_t k = 0;
        while (k < compared && s_.Ring.At(at + k) == kMarker[k]) ++k;
        if (k < compared) continue;
        if (here < 14) {
            if (last) continue; // nothing more comes: no frame can start here
            return Cut::Undecided;
        }
        const uint8_t b12 = s_.Ring.At(at + 12), b13 = s_.Ring.At(at + 13);
        const uint32_t inner = bigEndian ? (uint32_t(b12) << 8 | b13) : (uint32_t(b13) << 8 | b12);
        if (inner < uint32_t(kNewMinFrameBytes) || (inner & 1)) continue;
        *restart = at;
        return Cut::Yes;
    }
    return Cut::No;
}

void FrameExtractor::CheckFrameNumber(DecodedFrame& f) {
    if (framesFromStart_ > kUnreportedFrames && ((f.FrameNum - prevFrameNum_) & 0xFFFF) > 1) {
        f.Inconsistent = true;
        s_.Sink.Post(WM_FRAME_REPORT, kReportInconsistent, static_cast<intptr_t>(framesFromStart_));
    }
    if ((f.FrameNum & 1023) == 0 && std::llabs(prevFrameNum_ - f.FrameNum) == 1) {
        static constexpr std::string_view kWords[] = {"Inconsistent ", "Synchronizing", "Checksum",
                                                      "Forwarding", "error"};
        s_.Sink.ClearStatIfContains(kWords, 5);
    }
    prevFrameNum_ = f.FrameNum;
}

void FrameExtractor::RaisePeaks(int FrameBufN) {
    TNewProtHeaderEveryFrameData& r = s_.Decoder.HeaderEveryFrInfo[FrameBufN];
    for (int k = 1; k <= kChannelCharts; ++k) {
        if (r.SampleIndInBuf[k] == 0 || !r.SamplesPtr[k]) continue;
        int peak = r.ChannMax[k];
        const int16_t* p = r.SamplesPtr[k];
        for (int j = 0; j < r.FrameLen[k]; ++j) {
            const int a = std::abs(int(p[j]));
            if (a > peak) peak = a;
        }
        r.ChannMax[k] = static_cast<int16_t>(peak > 32767 ? 32767 : peak);
    }
}

void FrameExtractor::TakeFrame(uint32_t len) {
    Silent().FrameTaken();
    DecodedFrame f;
    f.FrameBufN = frameBufN_;
    f.Bytes = len;
    f.FramesFromStart = framesFromStart_;
    f.Protocol = s_.Ring.ProtocolType() == 0 ? 0 : 1;
    const int16_t oldProtCH = s_.Ring.OldProtCH();

    FrameDecoder& d = s_.Decoder; // the frame is already in its buffer
    f.FrameNum = f.Protocol == 1 ? int64_t(uint32_t(d.Word(frameBufN_, kNewCounterLoWord)) |
                                           uint32_t(d.Word(frameBufN_, kNewCounterHiWord)) << 16)
                                 : int64_t(int16_t(d.Word(frameBufN_, kOldCounterWord)));
    CheckFrameNumber(f);
    formatCheck_.SeeFrame(f.FrameNum);

    const int words = int(len / 2);
    f.Result = f.Protocol == 0 ? d.ParseOldProtocolFrame(words, frameBufN_, oldProtCH)
                               : d.ParseNewProtocolFrame(words, frameBufN_);
    if (f.Result == kDecodeBadChecksum) {
        s_.Sink.Post(WM_FRAME_REPORT, kReportChecksum, 0);
        s_.Sink.SetStat("Checksum error", StatStyle::BoldRed);
    } else if (f.Result != kDecodeOk) {
        s_.Sink.Post(WM_FRAME_REPORT, kReportChecksum, 0);
    }
    // A frame with an unknown tag is shown but not recorded, also when its checksum is wrong too:
    // the record parser could not take it, and as the frame one second into a record it would
    // make the parser refuse the whole record.
    if (f.Protocol == 1 && f.Result != kDecodeOk && d.LastFrameHadBadTag()) f.Record = false;
    // A sample chunk longer than its frame does not make the frame damaged (it is recorded); it
    // is counted on its own.
    if (f.Protocol == 1 && d.LastFrameHadMalformedChunk())
        s_.Parser.malformedChunks_.fetch_add(1, std::memory_order_relaxed);

    RaisePeaks(frameBufN_);
    f.ParseIndx = s_.Ring.ParseIndx();
    for (int i = 0; i < consumerCount_; ++i) consumers_[i]->OnFrame(f);
    s_.HandOff.Deliver(frameBufN_);

    // Batches end every BuffersToSendWithWinMsg frames and at the last of the 48 buffers, so
    // formats whose batch does not divide 48 still deliver every frame; lParam is the batch size.
    const int batch = s_.Format().BuffersToSendWithWinMsg;
    const int inBatch = frameBufN_ % batch + 1;
    if (inBatch == batch || frameBufN_ == kFrameBuffers - 1)
        s_.Sink.Post(WM_FRAMES_READY, static_cast<uintptr_t>(frameBufN_), inBatch);

    ring_.Consume(len);
    frameBufN_ = (frameBufN_ + 1) % kFrameBuffers;
    ++framesFromStart_;
    if (framesFromStart_ % 64 == 0) s_.Sink.SetCounter(CounterLabel::TotalFrames, framesFromStart_);
    const long seconds = RoundHalfEven(framesFromStart_ / double(s_.Format().FramesPerSec));
    if (framesFromStart_ % 128 == 0) s_.Sink.SetCounter(CounterLabel::TotalTimeSec, seconds);

    TagModel& tags = s_.Tags;
    if (tags.CollectableTagsChanged.load() > 0 && !tags.CheckBoxLockCh.load() && seconds % 2 == 0) {
        // The window rebuilds the lists from the published set at its next turn.
        tags.PublishPresentTags();
        tags.CollectableTagsChanged = 0;
        s_.Sink.Post(WM_TAGS_CHANGED, 0, 0);
    }
}

} // namespace vintrel

#include "delay/DelayAnalysis.h"

#include "monitor/RemAddVal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vintrel {

namespace delay_rules {

int32_t DelayMs(int32_t delay) {
    return (delay + 4) / 8;
}

int32_t RecommendedRpd(int32_t ms) {
    return int32_t(RoundHalfEven((ms - 7) / 5.0)) * 5;
}

int32_t HistoryLength(int scale) {
    const int64_t length = int64_t(scale) * 8;
    int32_t n = 4;
    while (n < length && n < (1 << 30)) n *= 2;
    return n;
}

void FormatReliability(double max, DelayText& out) {
    double r = 0;
    if (std::isfinite(max) && max != 0) {
        const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(max))));
        r = double(RoundHalfEven(max / unit)) * unit;
    }
    std::snprintf(out.data(), out.size(), "%.2f", r);
}

} // namespace delay_rules

namespace {

void SetText(DelayText& t, const char* s) {
    std::strncpy(t.data(), s, t.size() - 1);
    t.back() = 0;
}

bool Same(const DelayText& a, const DelayText& b) {
    return std::strcmp(a.data(), b.data()) == 0;
}

bool IsEchoLonger(const DelayText& t) {
    return std::strcmp(t.data(), DelayAnalysis::kEchoLongerText) == 0;
}

static_assert(std::char_traits<char>::length(DelayAnalysis::kEchoLongerText) < sizeof(DelayText));

} // namespace

DelayAnalysis::DelayAnalysis(const CorrEntryPoints& entries, StreamState& state, int scale)
    : entries_(entries), state_(state), Scale(scale) {}

DelayAnalysis::~DelayAnalysis() {
    FormHide();
}

void DelayAnalysis::ResetRun(const StreamFormat& format) {
    UnsortedRXMax.fill(-1);
    SortedRXMax.fill(-1);
    UnsortedTXMax.fill(-1);
    SortedTXMax.fill(-1);
    TxInMax = RxOutMax = CycIndx = 0;
    OneSecBuf = int16_t(std::clamp<long>(RoundHalfEven(format.FramesPerSec), 1, kPeakWindow));
    CorrCount = 0;
    CorrRes = {};
    // Every showing starts afresh: no warning carried over from an earlier run.
    LastDelay = 0;
    SCount = 0;
    shown_ = {};
    likelyEchoMs_ = 0;
    estimateWarned_ = false;
    historyLength_ = delay_rules::HistoryLength(CurrentScale());
    rxFlatness_.Reset(historyLength_);
    phase_ = 0;
    lastStep_ = 0;
    refused_ = false;
    rpdAvailable_ = false;
    estimates_ = 0;
}

DelayAnalysis::ShowResult DelayAnalysis::FormShow(const StreamFormat& format) {
    FormHide();
    if (!entries_.Complete()) return ShowResult::NoEntryPoints;
    void* obj = nullptr;
    const int32_t status = entries_.CreateObj(&obj, 8000, CurrentScale() * 8, 200, 1200, 200, 0.2, 0.2, 0.3);
    if (status != 0) {
        FormHide();
        return status == -1 ? ShowResult::NoMemory : ShowResult::Refused;
    }
    {
        std::lock_guard<std::mutex> lock(feedMutex_);
        CorrObj = obj;
        format_ = format;
        ResetRun(format);
        Publish(false); // lock order: feedMutex_, then viewMutex_
    }
    OnScreen.store(true, std::memory_order_release);
    state_.Add(StreamState::Corr);
    return ShowResult::Shown;
}

void DelayAnalysis::FormHide() {
    OnScreen.store(false, std::memory_order_release);
    state_.Remove(StreamState::Corr);
    // A frame being fed holds the lock: the estimator is freed only after it.
    std::lock_guard<std::mutex> lock(feedMutex_);
    if (CorrObj && entries_.FreeObj) entries_.FreeObj(CorrObj);
    CorrObj = nullptr;
}

DelayAnalysis::ShowResult DelayAnalysis::ChangeScale(int NewScale) {
    const bool hadCorr = state_.Has(StreamState::Corr);
    state_.Remove(StreamState::Corr);
    Scale.store(NewScale, std::memory_order_relaxed);
    if (!IsOnScreen()) {
        if (hadCorr) state_.Add(StreamState::Corr);
        return ShowResult::Shown;
    }
    const ShowResult r = FormShow(format_);
    if (r == ShowResult::Shown && !hadCorr) state_.Remove(StreamState::Corr);
    return r;
}

DelayView DelayAnalysis::View() const {
    std::lock_guard<std::mutex> lock(viewMutex_);
    return view_;
}

bool DelayAnalysis::Prot1AddFrame(const int16_t* dataRxOut, const int16_t* dataTxIn, int frameSamples,
                                  int samplingRate) {
    std::lock_guard<std::mutex> lock(feedMutex_);
    if (refused_) return false; // until the window has hidden and shown again
    if (!dataRxOut || !dataTxIn) {
        SetText(shown_, kRawDataText);
        Publish(true);
        refused_ = true;
        return false;
    }
    const int step = std::max(1, samplingRate / 8000);
    if (step != lastStep_) phase_ = 0;
    lastStep_ = step;
    // Every step-th sample of the stream, the phase carried from frame to frame: frames whose
    // length is not a multiple of step (24 kHz) still give exactly 8000 samples a second.
    const int start = phase_;
    const int count = std::max(0, frameSamples);
    int num = count > start ? (count - start + step - 1) / step : 0;
    const bool cut = num > kMaxStaged; // longer than any format's frame: keep what fits
    if (cut) num = kMaxStaged;
    for (int k = 0; k < num; ++k) {
        samples[k] = dataRxOut[start + k * step];
        samples[num + k] = dataTxIn[start + k * step];
    }
    phase_ = cut ? 0 : start + num * step - count;
    AddFrame(num, step);
    return true;
}

void DelayAnalysis::GetMax(int16_t newTX, int16_t newRX) {
    const int16_t oldTX = UnsortedTXMax[CycIndx];
    UnsortedTXMax[CycIndx] = newTX;
    RemAddVal<int16_t>(SortedTXMax.data(), OneSecBuf, oldTX, newTX, 1.0);
    const int16_t oldRX = UnsortedRXMax[CycIndx];
    UnsortedRXMax[CycIndx] = newRX;
    RemAddVal<int16_t>(SortedRXMax.data(), OneSecBuf, oldRX, newRX, 1.0);
    if (++CycIndx >= OneSecBuf) CycIndx = 0;
}

void DelayAnalysis::Judge(int16_t tx, int16_t rx, DelayText& s) {
    using namespace delay_rules;
    s = {};
    // A negative delay first: TX1in cannot lead RXout, so it is an echo past N/2 wrapped round (or
    // swapped channels). Only a real peak says so: the peak of noise alone (a pause, max below
    // kUnreliable) or silence's -1 (max 0) is left to the rules below.
    if (CorrRes.delay < 0 && CorrRes.max >= kUnreliable)
        SetText(s, kEchoLongerText);
    else if (rx >= 0 && rx < kLowLevel)
        SetText(s, "RXout signal is too low");
    else if (tx < kLowLevel)
        SetText(s, "TX1in signal is too low");
    else if (tx > kClipLevel)
        SetText(s, "TX1in signal is clipped");
    else if (CorrRes.max < kUnreliable || rxFlatness_.NarrowBand()) // a tone peaks at every period
        SetText(s, "Unreliable");
    else if (std::abs(int64_t(LastDelay) - CorrRes.delay) > kUnstableSamples)
        SetText(s, "Delay is unstable");
}

void DelayAnalysis::ShowWarning(const DelayText& s) {
    // A warning shows at once and stays for SCount estimates after its cause has gone; a
    // different warning replaces it at once.
    if (s[0] != 0 && !Same(s, shown_)) {
        shown_ = s;
        SCount = OneSecBuf / kEstimateFrames + 2;
    }
    if (SCount > 0 && !Same(shown_, s)) {
        if (--SCount == 0) shown_ = s;
    }
}

void DelayAnalysis::AddFrame(int num, int step) {
    if (!CorrObj) return;
    GetMax(TxInMax, RxOutMax);
    const int16_t tx = SortedTXMax[OneSecBuf - 1];
    const int16_t rx = SortedRXMax[OneSecBuf - 1];
    // TX1in is signal A and RXout signal B: a positive delay means TX1in lags RXout.
    entries_.PutFrame(CorrObj, &samples[num], &samples[0], num);
    rxFlatness_.Put(&samples[0], num);
    if (++CorrCount / step < kEstimateFrames) return;
    CorrRes = entries_.GetCorr(CorrObj);
    DelayText s;
    Judge(tx, rx, s);
    if (IsEchoLonger(s)) likelyEchoMs_ = delay_rules::DelayMs(CorrRes.delay + historyLength_); // delay + N
    LastDelay = CorrRes.delay;
    ShowWarning(s);
    CorrCount = 0;
    const int32_t ms = delay_rules::DelayMs(CorrRes.delay);
    std::copy(series_.begin() + 1, series_.end(), series_.begin());
    series_.back() = ms;
    // The RPD field follows the judgement of this estimate, not the held warning line; a setting
    // below 0 is never recommended (an echo of a few ms would give -5).
    estimateWarned_ = s[0] != 0;
    rpdAvailable_ = !estimateWarned_ && delay_rules::RecommendedRpd(ms) >= 0;
    ++estimates_;
    Publish(false);
}

void DelayAnalysis::Publish(bool hideRequested) {
    std::lock_guard<std::mutex> lock(viewMutex_);
    view_.Estimates = estimates_;
    view_.CorrRes = CorrRes;
    view_.DelaySamples = CorrRes.delay * std::max(1, lastStep_);
    view_.DelayMs = delay_rules::DelayMs(CorrRes.delay);
    delay_rules::FormatReliability(CorrRes.max, view_.Reliability);
    view_.Warning = shown_;
    view_.LikelyEchoShown = IsEchoLonger(shown_);
    view_.LikelyEchoMs = view_.LikelyEchoShown ? likelyEchoMs_ : 0;
    view_.EstimateWarned = estimateWarned_;
    view_.RpdAvailable = rpdAvailable_;
    view_.Rpd = delay_rules::RecommendedRpd(view_.DelayMs);
    if (rpdAvailable_)
        std::snprintf(view_.RpdText.data(), view_.RpdText.size(), "%d", int(view_.Rpd));
    else
        SetText(view_.RpdText, "N/A");
    view_.Series = series_;
    view_.HideRequested = hideRequested;
}

} // namespace vintrel

#include "monitor/ChartStatistics.h"

#include "monitor/RemAddVal.h"
#include "stream/StreamFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vintrel {

const std::array<int, 21> VadThrFR = {0,     1638,  3277,  4915,  6553,  8191,  9830,
                                      11468, 13107, 14745, 16383, 18022, 19661, 21299,
                                      22937, 24575, 26214, 27852, 29491, 31129, 32767};

ChartStatistics::ChartStatistics() {
    InitNoiseLevelCalc(0);
}

void ChartStatistics::SetRate(int Rate) {
    DrawingRate = 1 << std::clamp(Rate, 0, 15);
}

bool ChartStatistics::SumUpEveryFrame(int16_t v, int16_t vad, int16_t nl, int16_t vol) {
    if (RateCounter == 0) SumPeak = SumVad = SumVol = -2;
    GetNoiseLevel(v, vad, nl);
    // A restart inside the statistics (the frames changed between carrying a voice indicator and
    // not) also restarts the column: it begins with this frame, not with a zero peak.
    if (RateCounter == 0) SumPeak = SumVad = SumVol = -2;
    SumPeak = std::max(SumPeak, v);
    SumVol = std::max(SumVol, vol);
    SumVad = std::max(SumVad, vad);
    if (++RateCounter < CurDrawingRate) return false;
    RateCounter = 0;
    CurDrawingRate = DrawingRate;
    return true;
}

void ChartStatistics::InitExternalSettings(int Nframes, bool ShowNoiseM, bool ShowV) {
    SetOptFeatures(ShowNoiseM, ShowV);
    InitNoiseLevelCalc(Nframes);
}

void ChartStatistics::SetOptFeatures(bool ShowNoiseM, bool ShowV) {
    ShowNoiseMedian = ShowNoiseM;
    ShowVoice = ShowV;
}

void ChartStatistics::SetVadThr(int Thr) {
    VADthr = Thr;
    InitNoiseLevelCalc(0);
}

void ChartStatistics::InitNoiseLevelCalc(int NframesToBuffer) {
    BufFilled = false;
    SNRstr.clear();
    if (NframesToBuffer > 0) Nsamples = std::min(NframesToBuffer, kMaxNsamples);
    Ncyc = 0;
    Median = -2;
    SNRholdCounter = 0;
    held_sl_current = -2;
    CurDrawingRate = DrawingRate;
    SumPeak = 0;
    SumVad = SumVol = LastVol = -2;
    RateCounter = 0;
}

int16_t ChartStatistics::GetNoiseLevel(int16_t newv, int16_t vad, int16_t nl) {
    if (nl == -2) return -2;
    if (vad == -2) {
        if (NoVadFactor == 1) InitNoiseLevelCalc(0);
        NoVadFactor = 3;
    } else {
        if (NoVadFactor == 3) InitNoiseLevelCalc(0);
        NoVadFactor = 1;
        const std::string_view s = SNR(newv, vad);
        if (s != "*") SNRstr.assign(s);
    }
    const int NsamplesACT = Nsamples * NoVadFactor;
    const double findx = NoVadFactor == 1 ? 0.45 : 0.33;
    const bool unvoiced = newv != -2 && vad <= VADthr; // without an indicator every frame counts

    if (!BufFilled) {
        if (!unvoiced) return -2;
        unsorted_[Ncyc] = sorted_[Ncyc] = newv;
        if (++Ncyc < NsamplesACT) return -2;
        BufFilled = true;
        QuickSort(sorted_.data(), NsamplesACT - 1, 0);
        Median = sorted_[PercentileIndex(NsamplesACT, findx)];
        Ncyc = 0;
        return Median;
    }
    const int16_t tmp = unsorted_[Ncyc];
    const int16_t incoming = unvoiced ? newv : Median; // a voiced frame keeps the level where it is
    unsorted_[Ncyc] = incoming;
    Median = RemAddVal<int16_t>(sorted_.data(), NsamplesACT, tmp, incoming, findx);
    if (++Ncyc >= NsamplesACT) Ncyc = 0;
    return Median;
}

std::string_view ChartStatistics::SNR(int16_t signal, int16_t vad) {
    const int16_t instant_sl = vad > VADthr ? signal : int16_t(-2);
    if (instant_sl <= held_sl_current && SNRholdCounter < Nsamples * 1500.0 / 4800.0) {
        ++SNRholdCounter;
        return "*";
    }
    held_sl_current = instant_sl;
    SNRholdCounter = 0;
    if (held_sl_current <= 0 || Median == -2) return "";
    const float ln_sl = std::log(float(held_sl_current));
    const float ln_median = Median > 0 ? 8.66f * std::log(float(Median)) : -6.0f;
    const long db = RoundHalfEven(8.66f * ln_sl - ln_median);
    const int n = std::snprintf(snrText_.data(), snrText_.size(), "SNR=%ld", db);
    return std::string_view(snrText_.data(), size_t(std::clamp(n, 0, int(snrText_.size()) - 1)));
}

int16_t ChartStatistics::GetMax(int16_t newv) {
    const int16_t tmp = unsorted_[Ncyc];
    unsorted_[Ncyc] = newv;
    const int16_t result = RemAddVal<int16_t>(sorted_.data(), Nsamples, tmp, newv, 1.0);
    Ncyc = (Ncyc + 1) % Nsamples;
    return result;
}

int16_t ChartStatistics::GetMedian() {
    return RemAddVal<int16_t>(sorted_.data(), Nsamples, 0, 0, 0.5);
}

} // namespace vintrel

#pragma once
// What a level chart computes from the values it is fed, apart from drawing: the folding of frames
// into columns, the noise level (a low percentile of unvoiced frame peaks over a sliding window kept
// sorted), the held voiced level and the SNR between them, and the sliding peak and median of the
// MIPS chart. TSimpleChart draws with it; nothing here allocates after construction.
//
// Threads: window thread only.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vintrel {

class ChartStatistics {
public:
    static constexpr int kWindowValues = 21600; // Nsamples x NoVadFactor never exceeds this
    static constexpr int kMaxNsamples = kWindowValues / 3;
    static constexpr int kDefaultVadThr = 11468;

    ChartStatistics();
    virtual ~ChartStatistics() = default;

    // Column gathering. DrawingRate = 2^Rate frames per column, from the next column on.
    void SetRate(int Rate);
    // Feeds one frame; true when a column is due (SumPeak, SumVad and SumVol then hold its maxima).
    bool SumUpEveryFrame(int16_t v, int16_t vad, int16_t nl, int16_t vol);

    void InitExternalSettings(int Nframes, bool ShowNoiseM, bool ShowV);
    virtual void SetOptFeatures(bool ShowNoiseM, bool ShowV);
    void SetVadThr(int Thr);
    // Restarts the statistics and the column being gathered; NframesToBuffer > 0 also sets the
    // window length (at most kMaxNsamples frames).
    void InitNoiseLevelCalc(int NframesToBuffer);
    // One frame: the new noise level when it changed at this frame, else -2. nl = -2 switches the
    // statistics off for the frame (the MIPS chart).
    int16_t GetNoiseLevel(int16_t newv, int16_t vad, int16_t nl);
    // "*" nothing new (the held level holds), "" nothing to show, or "SNR=" and whole dB. The view
    // stays valid until the next call.
    std::string_view SNR(int16_t signal, int16_t vad);
    // The MIPS chart's window of Nsamples values: push one and return the maximum; the median.
    int16_t GetMax(int16_t newv);
    int16_t GetMedian();

    // Column gathering (the chart's fields).
    int DrawingRate = 1;
    int CurDrawingRate = 1;
    int RateCounter = 0;
    int16_t SumPeak = 0;
    int16_t SumVad = -2;
    int16_t SumVol = -2;
    int16_t LastVol = -2;

    // Statistics.
    int VADthr = kDefaultVadThr;
    int16_t held_sl_current = -2;
    int SNRholdCounter = 0;
    int Nsamples = 1200;
    int Ncyc = 0;
    int16_t Median = -2;
    bool BufFilled = false;
    int NoVadFactor = 1;
    bool ShowNoiseMedian = false;
    bool ShowVoice = false;
    std::string SNRstr = "*"; // short texts only: never leaves the string's own storage

    const int16_t* UnsortedCycBuf() const { return unsorted_.data(); }
    const int16_t* Sorted() const { return sorted_.data(); }

private:
    std::array<int16_t, kWindowValues> unsorted_{};
    std::array<int16_t, kWindowValues> sorted_{};
    std::array<char, 16> snrText_{};
};

// The "VAD threshold" list: 21 thresholds for 0.00, 0.05 ... 1.00 of full scale; entry 10 at start.
extern const std::array<int, 21> VadThrFR;
constexpr int kVadThrDefaultItem = 10;

} // namespace vintrel

#pragma once
// The delay analysis behind the "Delay estimation" window, without the window: it decimates
// RXout and TX1in to 8 kHz, feeds them to the estimator frame by frame, asks for an estimate
// every 32 x step frames, judges it (a negative delay, then the level, reliability and stability
// rules; RXout's own band flatness counts toward reliability) and keeps what the window shows
// (samples, ms, reliability, warning with the likely echo, recommended RPD setting, the chart's
// last 256 values).
//
// Threads:
// - window thread: FormShow, FormHide, ChangeScale (create and destroy the estimator, reset the
//   peak windows, set and clear the feed flag Corr) and View();
// - parsing thread: SetFramePeaks and Prot1AddFrame for every decoded frame while Corr is set;
//   everything AddFrame and GetMax change is this thread's.
// The estimator and the parsing thread's fields are guarded by feedMutex_: a frame is fed whole
// under it, and the window creates or destroys the estimator only while holding it, so the
// estimator is never freed under a frame being fed. What the window shows is published after
// every estimate under viewMutex_ and read as a copy (View).
#include "delay/BandFlatness.h"
#include "delay/CorrEntryPoints.h"
#include "stream/StreamFormat.h"
#include "stream/StreamState.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace vintrel {

// Fixed-size text for what the window shows: no allocation on the parsing thread.
using DelayText = std::array<char, 96>;

struct DelayView {
    uint64_t Estimates = 0;   // estimates made since the last FormShow
    TCorrRes CorrRes{};       // the last result
    int32_t DelaySamples = 0; // "samples": the delay at the stream's own rate
    int32_t DelayMs = 0;      // "ms"
    DelayText Reliability{};  // "reliability": one significant digit, two decimals ("0.90")
    DelayText Warning{};      // the warning line, empty when none
    // The warning line is kEchoLongerText: the echo it likely is, in ms, shown beside it.
    bool LikelyEchoShown = false;
    int32_t LikelyEchoMs = 0;
    // This estimate's own judgement found a warning (the warning line may still hold an earlier
    // one): its delay is not to be trusted.
    bool EstimateWarned = false;
    // The RPD field shows Rpd (navy) or "N/A" (red): N/A after a warning and when Rpd is below 0.
    bool RpdAvailable = false;
    int32_t Rpd = 0;
    DelayText RpdText{};
    // The chart: the last 256 values in ms, oldest first (index 255 is the newest).
    std::array<int32_t, 256> Series{};
    // Feeding failed ("Raw data is not available"): the window should hide.
    bool HideRequested = false;
};

class DelayAnalysis {
public:
    static constexpr int kSeriesPoints = 256;
    static constexpr int kPeakWindow = 1000; // frames, at most one second's worth
    // Decimated samples per signal in one frame: the 16-ms formats carry 256 samples per channel
    // at 16 kHz and 128 at 8 kHz, so 256 covers every format.
    static constexpr int kMaxStaged = 256;
    static constexpr int kEstimateFrames = 32; // an estimate every 32 x step frames

    static constexpr const char* kNoMemoryText = "Error memory allocation\rDelay analysis is impossible";
    static constexpr const char* kRawDataText = "Raw data is not available";
    // A negative delay: the history of N samples holds lags -N/2 < delay <= N/2 only, so an echo
    // longer than N/2 comes back as delay - N (TX1in cannot lead RXout otherwise, unless the
    // channels are swapped).
    static constexpr const char* kEchoLongerText =
        "Echo longer than the range or channels swapped: choose a larger Max delay";

    enum class ShowResult {
        Shown,
        NoMemory,      // the estimator could not be created (-1): kNoMemoryText, the window hides
        Refused,       // the estimator refused the parameters (-2)
        NoEntryPoints, // the library lacks an entry point: the analysis cannot run
    };

    // `Scale`: the maximum delay in ms ("Max delay, ms": 1000, 2000 or 4000).
    DelayAnalysis(const CorrEntryPoints& entries, StreamState& state, int scale);
    ~DelayAnalysis();
    DelayAnalysis(const DelayAnalysis&) = delete;
    DelayAnalysis& operator=(const DelayAnalysis&) = delete;

    // Window thread.
    // Ends any previous run, creates the estimator for Scale x 8 samples of history, resets the
    // peak windows for `format` and sets the feed flag.
    ShowResult FormShow(const StreamFormat& format);
    // Clears the feed flag, waits for a frame being fed, frees the estimator.
    void FormHide();
    // A new maximum delay: restarts the run with a new estimator when on screen (the history is
    // lost), otherwise only stores it.
    ShowResult ChangeScale(int NewScale);
    int CurrentScale() const { return Scale.load(std::memory_order_relaxed); }
    bool IsOnScreen() const { return OnScreen.load(std::memory_order_acquire); }
    DelayView View() const;

    // Parsing thread.
    // The largest samples of the current frame's TX1in and RXout blocks, given before
    // Prot1AddFrame.
    void SetFramePeaks(int16_t txInMax, int16_t rxOutMax) {
        std::lock_guard<std::mutex> lock(feedMutex_);
        TxInMax = txInMax;
        RxOutMax = rxOutMax;
    }
    // Decimates one frame (`frameSamples` samples per channel at `samplingRate`) and feeds it.
    // False when either block is missing ("Raw data is not available"): the feeder then clears
    // the feed flag and the window hides.
    bool Prot1AddFrame(const int16_t* dataRxOut, const int16_t* dataTxIn, int frameSamples, int samplingRate);

private:
    void AddFrame(int num, int step);
    void GetMax(int16_t newTX, int16_t newRX);
    void Judge(int16_t tx, int16_t rx, DelayText& s);
    void ShowWarning(const DelayText& s);
    void Publish(bool hideRequested);
    void ResetRun(const StreamFormat& format);

    const CorrEntryPoints entries_;
    StreamState& state_;
    // Window thread's; atomics so the feeder and other threads may read them.
    std::atomic<int> Scale;
    std::atomic<bool> OnScreen{false};
    StreamFormat format_; // the format of the current run (window thread, at FormShow)

    mutable std::mutex feedMutex_;
    // Guarded by feedMutex_ (parsing thread while feeding, window thread at FormShow/FormHide).
    void* CorrObj = nullptr;
    int32_t CorrCount = 0;
    TCorrRes CorrRes{};
    int32_t LastDelay = 0;
    int32_t SCount = 0;
    std::array<int16_t, kPeakWindow> UnsortedRXMax{}, SortedRXMax{};
    std::array<int16_t, kPeakWindow> UnsortedTXMax{}, SortedTXMax{};
    int16_t CycIndx = 0;
    int16_t OneSecBuf = 250;
    int16_t TxInMax = 0, RxOutMax = 0;
    // One frame's decimated samples: RXout first, TX1in after it.
    std::array<int16_t, 2 * std::size_t{kMaxStaged}> samples{};
    int phase_ = 0;            // index in the next frame of the next sample to keep
    int lastStep_ = 0;         // step of the previous frame; a change restarts the decimation phase
    bool refused_ = false;     // a frame without the blocks asked the window to hide: feed no more
    DelayText shown_{};        // the warning line as shown
    int32_t likelyEchoMs_ = 0; // of the last estimate warned with kEchoLongerText
    bool estimateWarned_ = false;
    bool rpdAvailable_ = false;
    int32_t historyLength_ = 8192; // N of the current estimator
    BandFlatness rxFlatness_;      // RXout at 8 kHz over the estimator's history
    std::array<int32_t, kSeriesPoints> series_{};
    uint64_t estimates_ = 0;

    mutable std::mutex viewMutex_;
    DelayView view_; // guarded by viewMutex_
};

// The texts of the judging rules and the figures shown, for the window and the tests.
namespace delay_rules {
constexpr int16_t kLowLevel = 1036;   // -30 dB below full scale
constexpr int16_t kClipLevel = 23170; // -3 dB below full scale
constexpr double kUnreliable = 0.35;
constexpr int32_t kUnstableSamples = 8; // 1 ms at 8 kHz
// ms = (delay + 4) / 8, truncated toward zero.
int32_t DelayMs(int32_t delay);
// The nearest multiple of 5 to ms - 7 (half to even).
int32_t RecommendedRpd(int32_t ms);
// The estimator's history N for a maximum delay of `scale` ms: the smallest power of two not
// below 8 x scale (8192, 16384, 32768 for 1000, 2000, 4000).
int32_t HistoryLength(int scale);
// Rounded to one significant digit (half to even) and written with two decimals: 0.87 -> "0.90".
void FormatReliability(double max, DelayText& out);
} // namespace delay_rules

} // namespace vintrel

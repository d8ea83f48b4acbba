#pragma once
// The echo canceller's figures computed frame by frame from the mean squares of RXout (R, the far
// end), TX1in (M, the microphone) and TXout (E, the output), and the target's voice-activity
// values where the frame carries them:
// - noise floors: the 10th percentile of each level over the last 5 s;
// - far end active: VAD RX at the echo delay above the voice threshold, else R(k-d) > 10 floor(R);
// - near end active: VAD TX above the threshold, else M > 4 g R(k-d) + 2 floor(M), g the 20th
//   percentile of M / R(k-d) over the last 10 s of far-end frames with M > 4 floor(M) (none
//   before 0.5 s of them); both with a 100 ms hangover;
// - ERL, ERLE and the residual echo over far-end single talk, the double-talk share of far-end
//   activity and the far-end single-talk share of all frames;
// - the delay's median and standard deviation.
// Figures come for the last two whole seconds and for everything since Reset. Fixed buffers:
// AddFrame allocates nothing.
//
// Threads: one thread (the parsing thread or a replay) calls everything.
#include "delay/BinnedWindow.h"
#include "delay/EchoFigures.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vintrel {

struct EchoFrame {
    static constexpr int kNoVad = -1;
    double Rx = 0, Mic = 0, Out = 0; // mean squares of RXout, TX1in, TXout
    int VadRx = kNoVad;              // VAD RX as received, kNoVad when not carried
    int VadTx = kNoVad;              // VAD TX likewise
};

class EchoMetrics {
public:
    static constexpr double kE = 1e-3;    // the smallest echo power counted
    static constexpr int kHistory = 2048; // frames of RXout kept: the longest delay + 1
    static constexpr int kMaxFramesPerSecond = 750;

    // `vadThreshold` as a share of full scale (32767).
    EchoMetrics(double framesPerSecond, double msPerFrame, double vadThreshold = 0.5);
    void Reset();

    // One frame that carries all three channels; `delayFrames` empty while no delay is known (the
    // frame then only feeds the noise floors and the history).
    void AddFrame(const EchoFrame& f, std::optional<int> delayFrames);

    // Whole seconds of stream seen since Reset; SecondDone tells whether the last AddFrame ended one.
    int Seconds() const { return seconds_; }
    bool SecondDone() const { return secondDone_; }
    EchoFigures Window() const; // the last two whole seconds
    EchoFigures Whole() const;  // everything since Reset

private:
    struct Sums {
        double Rd = 0, Mic = 0, Out = 0;
        uint32_t Fst = 0, Dt = 0, Fa = 0, All = 0;
        void Add(const Sums& o);
    };
    struct DelayStats {
        double Count = 0, Sum = 0, SumSq = 0;
    };
    EchoFigures FiguresOf(const Sums& s) const;
    void DelayFiguresOf(const std::array<uint32_t, kHistory>& counts, const DelayStats& st,
                        EchoFigures& out) const;
    void EndSecond();

    int fps_;
    double msPerFrame_;
    double vadThreshold_;
    int hangover_;
    BinnedWindow<5> rxFloor_, micFloor_, outFloor_;
    BinnedWindow<10> gain_{-60.0};
    std::array<double, kHistory> rxHistory_{};
    std::array<int, kHistory> vadRxHistory_{};
    int head_ = 0;
    int faHold_ = 0, naHold_ = 0;
    int frameInSecond_ = 0, seconds_ = 0;
    bool secondDone_ = false;
    Sums current_, whole_;
    std::array<Sums, 2> lastSeconds_{};
    // The delay per frame over the last 10 s, and over the whole.
    std::array<uint16_t, std::size_t{10} * kMaxFramesPerSecond> delays_{};
    int delayCount_ = 0, delayHead_ = 0;
    std::array<uint32_t, kHistory> recentDelays_{}, wholeDelays_{};
    DelayStats recent_, wholeStats_;
};

} // namespace vintrel

#include "delay/EchoMetrics.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

namespace {

double Db(double v) {
    return 10.0 * std::log10(std::max(v, EchoMetrics::kE));
}

double Power(double db) {
    return std::pow(10.0, db / 10.0);
}

} // namespace

void EchoMetrics::Sums::Add(const Sums& o) {
    Rd += o.Rd;
    Mic += o.Mic;
    Out += o.Out;
    Fst += o.Fst;
    Dt += o.Dt;
    Fa += o.Fa;
    All += o.All;
}

EchoMetrics::EchoMetrics(double framesPerSecond, double msPerFrame, double vadThreshold)
    : fps_(std::clamp(int(std::lround(framesPerSecond)), 1, kMaxFramesPerSecond)), msPerFrame_(msPerFrame),
      vadThreshold_(vadThreshold * 32767.0), hangover_(std::max(1, int(std::lround(0.1 * framesPerSecond)))) {
    Reset();
}

void EchoMetrics::Reset() {
    rxFloor_ = BinnedWindow<5>();
    micFloor_ = BinnedWindow<5>();
    outFloor_ = BinnedWindow<5>();
    gain_ = BinnedWindow<10>(-60.0);
    rxHistory_.fill(0.0);
    vadRxHistory_.fill(EchoFrame::kNoVad);
    head_ = faHold_ = naHold_ = frameInSecond_ = seconds_ = 0;
    secondDone_ = false;
    current_ = whole_ = Sums{};
    lastSeconds_ = {};
    delayCount_ = delayHead_ = 0;
    recentDelays_.fill(0);
    wholeDelays_.fill(0);
    recent_ = wholeStats_ = DelayStats{};
}

void EchoMetrics::AddFrame(const EchoFrame& f, std::optional<int> delayFrames) {
    secondDone_ = false;
    head_ = (head_ + 1) % kHistory;
    rxHistory_[head_] = f.Rx;
    vadRxHistory_[head_] = f.VadRx;
    rxFloor_.Add(Db(f.Rx));
    micFloor_.Add(Db(f.Mic));
    outFloor_.Add(Db(f.Out));

    if (delayFrames && *delayFrames >= 0 && *delayFrames < kHistory) {
        const int d = *delayFrames;
        const int at = (head_ - d + kHistory) % kHistory;
        const double rd = rxHistory_[at];
        const double nR = Power(*rxFloor_.Percentile(0.1));
        const double nM = Power(*micFloor_.Percentile(0.1));
        const double nE = Power(*outFloor_.Percentile(0.1));

        const bool faNow =
            vadRxHistory_[at] != EchoFrame::kNoVad ? vadRxHistory_[at] > vadThreshold_ : rd > 10.0 * nR;
        faHold_ = faNow ? hangover_ : std::max(0, faHold_ - 1);
        const bool fa = faNow || faHold_ > 0;
        if (fa && f.Mic > 4.0 * nM && rd > 0) gain_.Add(Db(f.Mic / rd));
        bool naNow = false;
        if (f.VadTx != EchoFrame::kNoVad) {
            naNow = f.VadTx > vadThreshold_;
        } else if (gain_.Count() >= uint32_t(fps_ / 2)) {
            naNow = f.Mic > 4.0 * Power(*gain_.Percentile(0.2)) * rd + 2.0 * nM;
        }
        naHold_ = naNow ? hangover_ : std::max(0, naHold_ - 1);
        const bool na = naNow || naHold_ > 0;

        ++current_.All;
        if (fa) ++current_.Fa;
        if (fa && na) ++current_.Dt;
        if (fa && !na) {
            ++current_.Fst;
            current_.Rd += rd;
            current_.Mic += std::max(f.Mic - nM, kE);
            current_.Out += std::max(f.Out - nE, kE);
        }

        if (delayCount_ == int(delays_.size())) {
            const int old = delays_[delayHead_];
            --recentDelays_[old];
            recent_.Count -= 1;
            recent_.Sum -= old;
            recent_.SumSq -= double(old) * old;
        } else {
            ++delayCount_;
        }
        delays_[delayHead_] = uint16_t(d);
        delayHead_ = (delayHead_ + 1) % int(delays_.size());
        ++recentDelays_[d];
        ++wholeDelays_[d];
        for (DelayStats* s : {&recent_, &wholeStats_}) {
            s->Count += 1;
            s->Sum += d;
            s->SumSq += double(d) * d;
        }
    }
    if (++frameInSecond_ >= fps_) EndSecond();
}

void EchoMetrics::EndSecond() {
    frameInSecond_ = 0;
    ++seconds_;
    secondDone_ = true;
    lastSeconds_[0] = lastSeconds_[1];
    lastSeconds_[1] = current_;
    whole_.Add(current_);
    current_ = Sums{};
    rxFloor_.Roll();
    micFloor_.Roll();
    outFloor_.Roll();
    gain_.Roll();
}

EchoFigures EchoMetrics::FiguresOf(const Sums& s) const {
    EchoFigures out;
    if (s.Fst < uint32_t(fps_ / 2)) return out;
    out.ErlDb = 10.0 * std::log10(std::max(s.Rd, kE) / s.Mic);
    out.ErleDb = 10.0 * std::log10(s.Mic / s.Out);
    out.TerDb = *out.ErlDb + *out.ErleDb;
    out.ResidualEchoDbov = 10.0 * std::log10(s.Out / s.Fst / (32768.0 * 32768.0));
    out.DoubleTalkShare = s.Fa ? double(s.Dt) / s.Fa : 0.0;
    out.FarSingleTalkShare = s.All ? double(s.Fst) / s.All : 0.0;
    return out;
}

void EchoMetrics::DelayFiguresOf(const std::array<uint32_t, kHistory>& counts, const DelayStats& st,
                                 EchoFigures& out) const {
    if (st.Count < 1) return;
    const double half = (st.Count - 1) / 2.0;
    double seen = 0;
    int lo = -1, hi = -1;
    for (int i = 0; i < kHistory && hi < 0; ++i) {
        seen += counts[i];
        if (lo < 0 && seen > std::floor(half)) lo = i;
        if (seen > std::ceil(half)) hi = i;
    }
    out.DelayMs = (lo + hi) / 2.0 * msPerFrame_;
    const double mean = st.Sum / st.Count;
    out.DelayStdMs = std::sqrt(std::max(0.0, st.SumSq / st.Count - mean * mean)) * msPerFrame_;
}

EchoFigures EchoMetrics::Window() const {
    Sums s = lastSeconds_[0];
    s.Add(lastSeconds_[1]);
    EchoFigures out = FiguresOf(s);
    DelayFiguresOf(recentDelays_, recent_, out);
    return out;
}

EchoFigures EchoMetrics::Whole() const {
    Sums s = whole_;
    s.Add(current_);
    EchoFigures out = FiguresOf(s);
    DelayFiguresOf(wholeDelays_, wholeStats_, out);
    return out;
}

} // namespace vintrel

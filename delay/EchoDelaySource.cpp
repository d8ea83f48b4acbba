#include "delay/EchoDelaySource.h"

#include "delay/DelayAnalysis.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

namespace {

float Db(double meanSquare) {
    return float(10.0 * std::log10(std::max(meanSquare, 1e-3)));
}

} // namespace

void AnalysisDelaySource::AddFrame(double, double) {
    const DelayView v = analysis_.View();
    if (v.Estimates == seen_) return;
    seen_ = v.Estimates;
    if (!v.EstimateWarned && v.DelaySamples >= 0 && samplesPerFrame_ > 0)
        delay_ = int(std::lround(v.DelaySamples / samplesPerFrame_));
}

EnvelopeDelaySource::EnvelopeDelaySource(double framesPerSecond) {
    const int fps = std::max(1, int(std::lround(framesPerSecond)));
    span_ = std::min(fps, kRing / 2);
    maxLag_ = std::min(fps, kRing - span_) - 1;
    everyN_ = std::max(1, fps / 2);
}

void EnvelopeDelaySource::AddFrame(double rx, double mic) {
    head_ = (head_ + 1) % kRing;
    rx_[head_] = Db(rx);
    mic_[head_] = Db(mic);
    filled_ = std::min(filled_ + 1, kRing);
    if (++sinceLast_ >= everyN_ && filled_ >= span_ + maxLag_ + 1) {
        sinceLast_ = 0;
        Estimate();
    }
}

void EnvelopeDelaySource::Estimate() {
    // Oldest first: the microphone's last `span_` frames against the receive side `lag` earlier.
    const int n = span_ + maxLag_;
    for (int i = 0; i < n; ++i) {
        const int at = (head_ - (n - 1 - i) + kRing) % kRing;
        rxLine_[i] = rx_[at];
        micLine_[i] = mic_[at];
    }
    const float* mic = micLine_.data() + maxLag_;
    double micMean = 0, micVar = 0;
    for (int i = 0; i < span_; ++i) micMean += mic[i];
    micMean /= span_;
    for (int i = 0; i < span_; ++i) micVar += (mic[i] - micMean) * (mic[i] - micMean);
    if (micVar <= 1e-9) return;
    double best = 0.5;
    int bestLag = -1;
    for (int lag = 0; lag <= maxLag_; ++lag) {
        const float* rx = rxLine_.data() + maxLag_ - lag;
        double sum = 0, sumSq = 0, cross = 0;
        for (int i = 0; i < span_; ++i) {
            sum += rx[i];
            sumSq += double(rx[i]) * rx[i];
            cross += double(rx[i]) * (mic[i] - micMean);
        }
        const double rxVar = sumSq - sum * sum / span_;
        if (rxVar <= 1e-6 * span_) continue;
        const double rho = cross / std::sqrt(rxVar * micVar);
        if (rho > best) {
            best = rho;
            bestLag = lag;
        }
    }
    // The first peak is taken at once; a change only when the next estimate confirms it.
    if (bestLag >= 0 && (!delay_ || bestLag == candidate_)) delay_ = bestLag;
    candidate_ = bestLag;
}

} // namespace vintrel

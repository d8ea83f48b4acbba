#include "delay/EchoDelaySource.h"

#include "delay/DelayAnalysis.h"

#include <algorithm>
#include <cmath>

namespace vintrel {

void AnalysisDelaySource::AddFrame(double, double) {
    const DelayView v = analysis_.View();
    if (v.Estimates == seen_) return;
    seen_ = v.Estimates;
    if (!v.EstimateWarned && v.DelaySamples >= 0 && samplesPerFrame_ > 0)
        delay_ = int(std::lround(v.DelaySamples / samplesPerFrame_));
}

} // namespace vintrel

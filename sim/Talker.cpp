#include "sim/Talker.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vintrel::sim {

namespace {
// A vowel-like spectrum falling off with the harmonic number; each syllable varies it.
constexpr double kBaseWeights[] = {1.0, 0.7, 0.5, 0.35, 0.25, 0.15};
} // namespace

Talker::Talker(int sampleRate, uint64_t seed)
    : rng_(seed), sampleRate_(sampleRate), talkerPitch_(rng_.Uniform(100.0, 220.0)) {
    // Start quietly so that a receiver sees noise before the first word.
    segment_ = Segment::Pause;
    segmentLength_ = Samples(rng_.Uniform(0.3, 0.7));
}

int Talker::Samples(double seconds) const {
    const int n = static_cast<int>(seconds * sampleRate_);
    return n > 0 ? n : 1;
}

void Talker::StartSyllable() {
    segment_ = Segment::Syllable;
    segmentLength_ = Samples(rng_.Uniform(0.09, 0.28));
    amplitude_ = spurtLevel_ * rng_.Uniform(0.6, 1.0);
    pitchStart_ = talkerPitch_ * rng_.Uniform(0.85, 1.2);
    pitchEnd_ = pitchStart_ * rng_.Uniform(0.88, 1.12);
    weightSum_ = 0;
    const double nyquistGuard = 0.45 * sampleRate_;
    for (int k = 0; k < kHarmonics; ++k) {
        const bool audible = (k + 1) * std::max(pitchStart_, pitchEnd_) < nyquistGuard;
        weights_[k] = audible ? kBaseWeights[k] * rng_.Uniform(0.5, 1.5) : 0.0;
        weightSum_ += weights_[k];
    }
}

void Talker::StartNextSegment() {
    position_ = 0;
    switch (segment_) {
    case Segment::Pause:
        syllablesLeft_ = rng_.UniformInt(3, 9);
        spurtLevel_ = rng_.Uniform(6000.0, 13000.0);
        StartSyllable();
        break;
    case Segment::Syllable:
        if (--syllablesLeft_ > 0) {
            segment_ = Segment::Gap;
            segmentLength_ = Samples(rng_.Uniform(0.03, 0.12));
        } else {
            segment_ = Segment::Pause;
            segmentLength_ = Samples(rng_.Uniform(0.4, 1.8));
        }
        break;
    case Segment::Gap:
        StartSyllable();
        break;
    }
}

TalkerSample Talker::Next() {
    if (position_ >= segmentLength_) StartNextSegment();
    TalkerSample out;
    if (segment_ == Segment::Syllable) {
        const double t = static_cast<double>(position_) / segmentLength_;
        const double s = std::sin(std::numbers::pi * t);
        out.envelope = 1.0 - (1.0 - s) * (1.0 - s); // quick rise, rounded top, quick fall
        const double pitch = pitchStart_ + (pitchEnd_ - pitchStart_) * t;
        phase_ += 2.0 * std::numbers::pi * pitch / sampleRate_;
        if (phase_ > 2.0 * std::numbers::pi) phase_ -= 2.0 * std::numbers::pi;
        double v = 0;
        for (int k = 0; k < kHarmonics; ++k)
            if (weights_[k] != 0.0) v += weights_[k] * std::sin((k + 1) * phase_);
        out.value = amplitude_ * out.envelope * v / weightSum_;
    }
    ++position_;
    return out;
}

} // namespace vintrel::sim

#include "sim/NearTalker.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vintrel::sim {

namespace {
constexpr double kPitchHz = 190.0;     // the voice's mean fundamental, above the far-end talker's
constexpr double kPitchSwingHz = 25.0; // intonation
constexpr double kIntonationHz = 0.7;  // how fast the pitch glides up and down
constexpr double kSyllableSeconds = 0.22;
constexpr double kEnvelopeFloor = 0.55; // the envelope between syllables, as a share of the peak
constexpr int kHarmonics = 5;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
} // namespace

NearTalker::NearTalker(int sampleRate, double everySeconds)
    : sampleRate_(std::max(sampleRate, 1)), everySeconds_(std::max(everySeconds, 0.0)) {}

bool NearTalker::InBurst(uint64_t frameIndex, int samplesPerFrame) const {
    if (everySeconds_ <= 0 || samplesPerFrame <= 0) return false;
    const double framesPerSecond = static_cast<double>(sampleRate_) / samplesPerFrame;
    const double periodFrames = std::max(2.0, std::round(everySeconds_ * framesPerSecond));
    const double burstSeconds = std::min(kMaxBurstSeconds, everySeconds_ / 2.0);
    const double burstFrames = std::clamp(std::round(burstSeconds * framesPerSecond), 1.0, periodFrames - 1);
    const auto period = static_cast<uint64_t>(periodFrames);
    return frameIndex >= period && frameIndex % period < static_cast<uint64_t>(burstFrames);
}

double NearTalker::Next() {
    const double t = static_cast<double>(spoken_++) / sampleRate_;
    const double pitch = kPitchHz + kPitchSwingHz * std::sin(kTwoPi * kIntonationHz * t);
    phase_ = std::fmod(phase_ + kTwoPi * pitch / sampleRate_, kTwoPi);
    const double syllable = std::sin(std::numbers::pi * t / kSyllableSeconds);
    const double envelope = kEnvelopeFloor + (1.0 - kEnvelopeFloor) * syllable * syllable;
    double v = 0, weights = 0;
    for (int k = 1; k <= kHarmonics; ++k) {
        v += std::sin(k * phase_) / k;
        weights += 1.0 / k;
    }
    return kAmplitude * envelope * v / weights;
}

} // namespace vintrel::sim

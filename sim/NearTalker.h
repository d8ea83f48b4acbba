#pragma once
// A near-end talker: bursts of speech every few seconds, each a string of voiced syllables (a few
// harmonics of a slowly gliding pitch under a syllable envelope that never falls silent). Bursts
// start and end on frame boundaries so a frame is either wholly in a burst or wholly outside one.
#include <cstdint>

namespace vintrel::sim {

class NearTalker {
public:
    static constexpr double kMaxBurstSeconds = 1.0;
    static constexpr double kAmplitude = 5000.0; // peak of the signal, in sample units

    // everySeconds 0: the talker stays silent.
    NearTalker(int sampleRate, double everySeconds);

    // Whether frame `frameIndex` (counted from 0) of `samplesPerFrame` samples lies in a burst.
    // Bursts begin at every multiple of the period (not at 0) and last half the period or
    // kMaxBurstSeconds, whichever is shorter, rounded to whole frames.
    bool InBurst(uint64_t frameIndex, int samplesPerFrame) const;
    // The next sample of speech; called only for samples in a burst.
    double Next();

private:
    int sampleRate_;
    double everySeconds_;
    uint64_t spoken_ = 0; // samples spoken so far
    double phase_ = 0;
};

} // namespace vintrel::sim

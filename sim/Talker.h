#pragma once
// A far-end talker: talk spurts of syllables (a few harmonics of a gliding pitch under a smooth
// envelope) separated by short gaps, and pauses between the spurts.
#include <cstdint>

#include "sim/SimRandom.h"

namespace vintrel::sim {

struct TalkerSample {
    double value = 0;    // signal, at most about 13000 in magnitude
    double envelope = 0; // 0 in gaps and pauses, up to 1 at the top of a syllable
};

class Talker {
public:
    Talker(int sampleRate, uint64_t seed);
    TalkerSample Next();

private:
    enum class Segment { Pause, Syllable, Gap };
    static constexpr int kHarmonics = 6;

    void StartNextSegment();
    void StartSyllable();
    int Samples(double seconds) const;

    SimRandom rng_;
    int sampleRate_;
    double talkerPitch_; // Hz, the voice's mean fundamental
    Segment segment_ = Segment::Pause;
    int segmentLength_ = 1;
    int position_ = 0;
    int syllablesLeft_ = 0;
    double spurtLevel_ = 0;
    // The syllable being spoken.
    double amplitude_ = 0;
    double pitchStart_ = 0, pitchEnd_ = 0;
    double weights_[kHarmonics] = {};
    double weightSum_ = 1;
    double phase_ = 0;
};

} // namespace vintrel::sim

#pragma once
// The per-frame diagnostic values of the simulated target: noise detection and voice activity
// (Q15 likelihoods, 32767 = certain), AGC gain words, processor load, and the old-protocol
// volume and underflow words. They follow the signals: voice is active while the far-end talker's
// syllables sound, the transmit-side noise detector drops while their echo or a near-end talker
// reaches the microphone, and transmit voice activity is high exactly on near-end talk frames.
#include <cstdint>

#include "sim/SimRandom.h"

namespace vintrel::sim {

// The AGC gain word for a linear gain: exponent e (the word / 2048 - 2) and a 10-bit mantissa m
// with gain = m x 2^e. The smallest e that holds the gain is used, so the word decodes back to the
// gain with the low bits below 2^e dropped. Gains are limited to 0..32767.
int16_t EncodeAgcGain(int gain);

struct DiagnosticValues {
    int16_t ndTx = 0;  // noise detection on TX1in: high while the microphone hears only noise
    int16_t ndRx = 0;  // noise detection on RXin, which carries noise only
    int16_t vadTx = 0; // voice activity on TXout: high on near-end talk frames, low otherwise
    int16_t vadRx = 0; // voice activity on RXout: high while the far-end talker speaks
    int16_t agcTx = 0; // AGC gain words (encoded)
    int16_t agcRx = 0;
    int16_t mipsMax = 0;
    int16_t mipsCurrent = 0;
    int16_t volume = 0;    // old-protocol "VL": loudspeaker volume as a fraction of full scale (Q15)
    int16_t underflow = 0; // old-protocol "UF": 1 in the rare frame whose output buffer ran dry
};

class DiagnosticsModel {
public:
    static constexpr int kMipsMax = 120;
    static constexpr int kMipsLow = 40;
    static constexpr int kMipsHigh = 90;
    static constexpr int kVoiceLevel = 29000; // indicators of a voiced frame lie in 29000..32767
    static constexpr int kQuietLevel = 3000;  // those of an unvoiced frame in 0..3000

    DiagnosticsModel(double frameMs, uint64_t seed);
    DiagnosticValues Next(bool farEndVoice, bool echoPresent, bool nearEndVoice = false);

private:
    int16_t High();
    int16_t Low();

    SimRandom rng_;
    double frameMs_;
    double voiceHangMs_ = 0; // detectors hold their decision this long after the voice stops
    double echoHangMs_ = 0;
    double mips_ = 60;
    double agcTxLog2_ = 12; // log2 of the linear gains
    double agcRxLog2_ = 12;
    int volumeStep_ = 10; // of 16
    double msToVolumeChange_;
};

} // namespace vintrel::sim

#include "sim/Diagnostics.h"

#include <algorithm>
#include <cmath>

namespace vintrel::sim {

namespace {
constexpr double kHangoverMs = 80;
// Detector decisions hold a little while past the end of a syllable, as a real detector's do.
void Hold(bool active, double frameMs, double& hangMs) {
    hangMs = active ? kHangoverMs : std::max(0.0, hangMs - frameMs);
}
} // namespace

int16_t EncodeAgcGain(int gain) {
    gain = std::clamp(gain, 0, 32767);
    int e = 0;
    while ((gain >> e) > 1023) ++e;
    return static_cast<int16_t>((e + 2) * 2048 + (gain >> e));
}

DiagnosticsModel::DiagnosticsModel(double frameMs, uint64_t seed)
    : rng_(seed), frameMs_(frameMs), msToVolumeChange_(rng_.Uniform(4000, 8000)) {}

int16_t DiagnosticsModel::High() {
    return static_cast<int16_t>(rng_.UniformInt(kVoiceLevel, 32767));
}
int16_t DiagnosticsModel::Low() {
    return static_cast<int16_t>(rng_.UniformInt(0, kQuietLevel));
}

DiagnosticValues DiagnosticsModel::Next(bool farEndVoice, bool echoPresent, bool nearEndVoice) {
    DiagnosticValues d;
    Hold(farEndVoice, frameMs_, voiceHangMs_);
    Hold(echoPresent, frameMs_, echoHangMs_);
    const bool voiced = voiceHangMs_ > 0;
    const bool echo = echoHangMs_ > 0;
    d.vadRx = voiced ? High() : Low();
    // No hangover on the transmit side: the near-end talker's bursts are whole frames.
    d.vadTx = nearEndVoice ? High() : Low();
    d.ndTx = echo || nearEndVoice ? Low() : High();
    d.ndRx = High();

    // Random walks scaled to the frame period so every format wanders at the same speed in time.
    const double step = std::sqrt(frameMs_ / 4.0);

    // Processor load: wanders between 40 and 90, a little busier while the talker speaks.
    mips_ += 1.5 * step * rng_.Gaussian() + (voiced ? 0.05 : -0.05) * frameMs_ / 4.0;
    if (mips_ < kMipsLow) mips_ = 2 * kMipsLow - mips_;
    if (mips_ > kMipsHigh) mips_ = 2 * kMipsHigh - mips_;
    mips_ = std::clamp(mips_, double(kMipsLow), double(kMipsHigh));
    d.mipsMax = kMipsMax;
    d.mipsCurrent = static_cast<int16_t>(std::lround(mips_));

    // Transmit AGC: slow drift between gains of 2048 and 8192.
    agcTxLog2_ = std::clamp(agcTxLog2_ + 0.01 * step * rng_.Gaussian(), 11.0, 13.0);
    // Receive AGC: pulls down to about 3000 while the talker speaks, recovers to about 6000 in pauses.
    const double target = voiced ? std::log2(3000.0) : std::log2(6000.0);
    agcRxLog2_ +=
        (target - agcRxLog2_) * (1.0 - std::exp(-frameMs_ / 300.0)) + 0.005 * step * rng_.Gaussian();
    d.agcTx = EncodeAgcGain(static_cast<int>(std::lround(std::exp2(agcTxLog2_))));
    d.agcRx = EncodeAgcGain(static_cast<int>(std::lround(std::exp2(agcRxLog2_))));

    // Volume: the user presses a volume key every few seconds.
    msToVolumeChange_ -= frameMs_;
    if (msToVolumeChange_ <= 0) {
        volumeStep_ = std::clamp(volumeStep_ + (rng_.Uniform() < 0.5 ? -1 : 1), 4, 15);
        msToVolumeChange_ = rng_.Uniform(4000, 8000);
    }
    d.volume = static_cast<int16_t>(volumeStep_ * 2048);
    // About one underflow every ten seconds.
    d.underflow = rng_.Uniform() < frameMs_ / 10000.0 ? 1 : 0;
    return d;
}

} // namespace vintrel::sim

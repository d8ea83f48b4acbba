#pragma once
// The simulator's pseudo-random numbers: xoshiro256** seeded through SplitMix64. Written out here
// rather than taken from <random> so that a seed gives the same stream with every standard library.
#include <cstdint>

namespace vintrel::sim {

class SimRandom {
public:
    explicit SimRandom(uint64_t seed) {
        for (uint64_t& s : state_) {
            seed += 0x9E3779B97F4A7C15ull;
            uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            s = z ^ (z >> 31);
        }
    }

    uint64_t Next() {
        const uint64_t result = Rotl(state_[1] * 5, 7) * 9;
        const uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = Rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1) with 53 bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    // Uniform integer in [lo, hi], both included.
    int UniformInt(int lo, int hi) {
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
        return static_cast<int>(lo + static_cast<int64_t>(Next() % span));
    }
    // Roughly normal, mean 0 and variance 1: a sum of four uniforms (Irwin-Hall), which is bounded
    // at +-3.46 and so never produces the rare huge value that would clip a sample.
    double Gaussian() {
        const double s = Uniform() + Uniform() + Uniform() + Uniform();
        return (s - 2.0) * 1.7320508075688772;
    }

private:
    static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t state_[4];
};

// Independent generators derived from one user seed, so that switching damage on or off does not
// change the signals and the signals do not change the damage.
enum class RandomStream : uint64_t {
    Talker = 0x7461'6C6B'6572'0001ull,
    Noise = 0x6E6F'6973'6500'0002ull,
    Diagnostics = 0x6469'6167'0000'0003ull,
    Damage = 0x6461'6D61'6765'0004ull,
    Link = 0x6C69'6E6B'0000'0005ull,
};
inline uint64_t DeriveSeed(uint64_t seed, RandomStream stream) {
    return seed ^ static_cast<uint64_t>(stream);
}

} // namespace vintrel::sim

// The estimator library through its C exports, against the independent reference.
#include "delay/CorrReference.h"
#include "delay/QuendelApi.h"
#include "delay/SignalsForTests.h"
#include "quendel/CorrEstimator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vintrel::test {
namespace {

int TransformLength(int length) {
    int n = 4;
    while (n < length) n *= 2;
    return n;
}

void ExpectNear(double expected, double actual, const char* what) {
    EXPECT_NEAR(expected, actual, 1e-9 * std::max(1.0, std::fabs(expected))) << what;
}

// Feeds a and b to a fresh estimator and compares its result with the reference.
void CheckAgainstReference(const QuendelApi& api, int length, const CorrBand& band,
                           const std::vector<int16_t>& a, const std::vector<int16_t>& b, bool direct,
                           double rmsMin = 0.2, double maxMin = 0.3) {
    SCOPED_TRACE("length " + std::to_string(length));
    void* obj = nullptr;
    ASSERT_EQ(api.init(&obj, band.fs, length, band.fLow, band.fHigh, band.fTrans, rmsMin, rmsMin, maxMin), 0);
    Put(api, obj, a, b);
    const TCorrRes r = api.state(obj);
    const int n = TransformLength(length);
    const ReferenceResult ref =
        ReferenceCorrelate(LastSamples(a, n), LastSamples(b, n), ReferenceWeights(n, band), direct);
    EXPECT_EQ(r.delay, ref.delay);
    ExpectNear(ref.max, r.max, "max");
    ExpectNear(ref.rmsA, r.rms_a, "rms_a");
    ExpectNear(ref.rmsB, r.rms_b, "rms_b");
    ExpectNear(ref.pwr, r.pwr, "pwr");
    const int warnings =
        (ref.rmsA < rmsMin ? 1 : 0) | (ref.rmsB < rmsMin ? 2 : 0) | (ref.max < maxMin ? 4 : 0);
    EXPECT_EQ(r.warnings, warnings);
    EXPECT_GT(api.destroy(obj), 0);
}

const CorrBand kWindowBand{8000, 200, 1200, 200};
const CorrBand kWideBand{8000, 1000, 3000, 400}; // non-zero weights from N = 8 on

TEST(QuendelLibrary, RefusesParametersAndLeavesTheOutputAlone) {
    const QuendelApi& api = EmbeddedQuendel();
    void* const sentinel = reinterpret_cast<void*>(0x1234);
    struct Case {
        int fs, length, low, high, trans;
    } cases[] = {
        {8000, 8000, 200, 300, 200},   // band narrower than the ramp
        {8000, 8000, 200, 1200, 0},    // no ramp
        {8000, 8000, 200, 3900, 200},  // 3900 + 100 reaches fs / 2
        {8000, 8000, 200, 3899, 200},  // 3899 + 100 < 4000 is accepted: see below
        {0, 8000, 200, 1200, 200},     // no sampling rate
        {-8000, 8000, 200, 1200, 200}, // negative rate
        {8000, 8000, -400, 1200, 200}, // band below DC
        {8000, 8000, 200, 1200, -200}, // negative ramp
        {8000, quendel::CorrEstimator::kMaxLength + 1, 200, 1200, 200},
    };
    for (const Case& c : cases) {
        void* obj = sentinel;
        const int32_t status = api.init(&obj, c.fs, c.length, c.low, c.high, c.trans, 0.2, 0.2, 0.3);
        if (c.high == 3899) {
            EXPECT_EQ(status, 0);
            api.destroy(obj);
            continue;
        }
        EXPECT_EQ(status, -2) << c.fs << " " << c.length << " " << c.low << " " << c.high << " " << c.trans;
        EXPECT_EQ(obj, sentinel);
    }
    EXPECT_EQ(api.init(nullptr, 8000, 8000, 200, 1200, 200, 0.2, 0.2, 0.3), -2);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// In a child whose address space is capped just above what it uses, an object cannot get its
// memory: -1, the output untouched, and nothing mapped for it stays behind.
int ChildInitUnderCap(size_t headroomBytes, int length, bool smallAfter) {
    const pid_t pid = fork();
    if (pid == 0) {
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t cap = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + headroomBytes;
        const rlimit lim{cap, cap};
        if (pages == 0 || setrlimit(RLIMIT_AS, &lim) != 0) _exit(100);
        void* const sentinel = reinterpret_cast<void*>(0x5678);
        void* obj = sentinel;
        const int32_t status = EmbeddedQuendel().init(&obj, 8000, length, 200, 1200, 200, 0.2, 0.2, 0.3);
        if (obj != sentinel) _exit(101);
        // With the memory of the failed attempt given back, a small object fits again.
        void* small = nullptr;
        if (status == -1 && smallAfter &&
            EmbeddedQuendel().init(&small, 8000, 64, 200, 1200, 200, 0.2, 0.2, 0.3) != 0)
            _exit(102);
        _exit(status == -1 ? 0 : 103);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

TEST(QuendelLibrary, NoMemoryGivesMinusOne) {
    (void)EmbeddedQuendel(); // loaded before the child is made
    // The object's first block fits, the transform tables of N = 2^24 do not.
    EXPECT_EQ(ChildInitUnderCap(size_t(16) << 20, 1 << 24, true), 0);
    // Not even the first 1 MiB block: the private memory cannot be created at all.
    EXPECT_EQ(ChildInitUnderCap(size_t(256) << 10, 64, false), 0);
}
#endif

TEST(QuendelLibrary, TransformLengthAndBandEdges) {
    struct Case {
        int length, n;
    } cases[] = {{-5, 4},      {0, 4},         {4, 4},         {5, 8},
                 {8000, 8192}, {16000, 16384}, {32000, 32768}, {32769, 65536}};
    for (const Case& c : cases) {
        quendel::CorrSettings s;
        s.length = c.length;
        quendel::CorrEstimator* e = nullptr;
        ASSERT_EQ(quendel::CorrEstimator::Create(s, &e), 0);
        EXPECT_EQ(e->N(), c.n) << c.length;
        quendel::CorrEstimator::Destroy(e);
    }
    // The window's band at N = 8192: bins 204 and 1228, ramps 102 bins either side.
    quendel::CorrEstimator* e = nullptr;
    ASSERT_EQ(quendel::CorrEstimator::Create(quendel::CorrSettings{}, &e), 0);
    EXPECT_EQ(e->LowBin(), 204);
    EXPECT_EQ(e->HighBin(), 1228);
    EXPECT_EQ(e->HalfRamp(), 102);
    const auto ref = ReferenceWeights(8192, kWindowBand);
    for (int k = 0; k < 4096; ++k) ASSERT_NEAR(e->Weights()[k], ref[k], 1e-15) << k;
    EXPECT_EQ(e->Weights()[101], 0.0);
    EXPECT_GT(e->Weights()[103], 0.0);
    EXPECT_EQ(e->Weights()[306], 1.0);
    EXPECT_EQ(e->Weights()[1330], 0.0);
    quendel::CorrEstimator::Destroy(e);
}

TEST(QuendelLibrary, RampsThatTruncateToNothingOrReachBelowDc) {
    // 64 x 100 / 8000 / 2 = 0: no ramps, weight 1 from bin low to bin high - 1.
    quendel::CorrSettings s{8000, 64, 1000, 2000, 100, 0.2, 0.2, 0.3};
    quendel::CorrEstimator* e = nullptr;
    ASSERT_EQ(quendel::CorrEstimator::Create(s, &e), 0);
    for (int k = 0; k < 32; ++k) EXPECT_EQ(e->Weights()[k], (k >= 8 && k < 16) ? 1.0 : 0.0) << k;
    quendel::CorrEstimator::Destroy(e);
    // A low edge of 50 Hz with a 400 Hz ramp would start the rising ramp at bin -153: the bins
    // below 0 are left out, the rest follows the formula.
    const CorrBand nearDc{8000, 50, 1200, 400};
    s = {8000, 8000, 50, 1200, 400, 0.2, 0.2, 0.3};
    ASSERT_EQ(quendel::CorrEstimator::Create(s, &e), 0);
    const auto ref = ReferenceWeights(8192, nearDc);
    for (int k = 0; k < 4096; ++k) ASSERT_NEAR(e->Weights()[k], ref[k], 1e-15) << k;
    quendel::CorrEstimator::Destroy(e);
    const auto a = Noise(8192, 3), b = Delayed(a, 25);
    CheckAgainstReference(EmbeddedQuendel(), 8000, nearDc, a, b, false);
}

TEST(QuendelLibrary, MatchesTheReferenceForEveryLength) {
    const QuendelApi& api = EmbeddedQuendel();
    // Small lengths against the direct sums, the window's lengths against a plain FFT; odd and
    // even powers of two; random unrelated signals, partly filled and overfilled histories.
    for (int length : {8, 16, 32, 64, 128, 256, 512, 1024}) {
        const auto a = Noise(size_t(length), 10 + length), b = Noise(size_t(length), 20 + length);
        CheckAgainstReference(api, length, kWideBand, a, b, true);
        const auto c = Noise(size_t(length) / 3, 30 + length), d = Noise(size_t(length) / 3, 40 + length);
        CheckAgainstReference(api, length, kWideBand, c, d, true);
    }
    for (int length : {2048, 4096, 8000, 16000, 32000}) {
        const int n = TransformLength(length);
        const auto a = Noise(size_t(n) * 5 / 2, 50 + length), b = Noise(size_t(n) * 5 / 2, 60 + length);
        CheckAgainstReference(api, length, kWindowBand, a, b, false);
    }
}

TEST(QuendelLibrary, DelayedCopiesPeakAtTheirDelay) {
    const QuendelApi& api = EmbeddedQuendel();
    for (int length : {8000, 16000, 32000}) {
        const int n = TransformLength(length);
        const auto x = Noise(size_t(n), uint32_t(length));
        // A repeats B 40 samples later: +40; B repeats A: -40.
        CheckAgainstReference(api, length, kWindowBand, Delayed(x, 40), x, false);
        CheckAgainstReference(api, length, kWindowBand, x, Delayed(x, 40), false);
        void* obj = CreateWindowEstimator(api, length);
        Put(api, obj, Delayed(x, 40), x);
        EXPECT_EQ(api.state(obj).delay, 40);
        api.destroy(obj);
        obj = CreateWindowEstimator(api, length);
        Put(api, obj, x, Delayed(x, 40));
        const TCorrRes r = api.state(obj);
        EXPECT_EQ(r.delay, -40);
        EXPECT_GT(r.max, 0.95); // 40 of N samples lack their partner
        api.destroy(obj);
    }
}

TEST(QuendelLibrary, IdenticalSignalsPeakAtZeroWithHeightOne) {
    const QuendelApi& api = EmbeddedQuendel();
    for (int length : {64, 8000, 16000, 32000}) {
        const auto x = Noise(size_t(TransformLength(length)), 7u + length, 30000);
        void* obj = CreateWindowEstimator(api, length);
        Put(api, obj, x, x);
        const TCorrRes r = api.state(obj);
        EXPECT_EQ(r.delay, 0);
        EXPECT_NEAR(r.max, 1.0, 1e-12);
        EXPECT_NEAR(r.rms_a, r.rms_b, 1e-12);
        EXPECT_DOUBLE_EQ(r.pwr, r.rms_a * r.rms_b);
        EXPECT_EQ(r.warnings & CORR_WARN_MAX, 0);
        api.destroy(obj);
    }
    // 16384 is an even power of two: the RMS is the band-limited RMS itself; 8192 and 32768
    // are odd: sqrt(2) times it. The same signal must therefore give a ratio of sqrt(2).
    const auto x = Noise(40000, 99, 30000);
    double rms[3];
    int i = 0;
    for (int length : {8000, 16000, 32000}) {
        void* obj = CreateWindowEstimator(api, length);
        Put(api, obj, x, x);
        rms[i++] = api.state(obj).rms_a;
        api.destroy(obj);
    }
    EXPECT_NEAR(rms[0] / rms[1], std::sqrt(2.0), 0.05);
    EXPECT_NEAR(rms[2] / rms[1], std::sqrt(2.0), 0.05);
}

TEST(QuendelLibrary, SilenceGivesNoPeakAndEveryWarning) {
    const QuendelApi& api = EmbeddedQuendel();
    for (int length : {4, 64, 8000, 16000, 32000}) {
        void* obj = CreateWindowEstimator(api, length);
        TCorrRes r = api.state(obj); // nothing fed
        EXPECT_EQ(r.delay, -1);
        EXPECT_EQ(r.max, 0.0);
        EXPECT_EQ(r.rms_a, 0.0);
        EXPECT_EQ(r.rms_b, 0.0);
        EXPECT_EQ(r.pwr, 0.0);
        EXPECT_EQ(r.warnings, 7);
        const std::vector<int16_t> zeros(size_t(length > 0 ? length : 1), 0);
        Put(api, obj, zeros, zeros);
        r = api.state(obj);
        EXPECT_EQ(r.delay, -1);
        EXPECT_EQ(r.warnings, 7);
        api.destroy(obj);
    }
    // Only the warnings whose threshold is above 0.
    void* obj = nullptr;
    ASSERT_EQ(api.init(&obj, 8000, 8000, 200, 1200, 200, 0.0, 0.2, 0.0), 0);
    EXPECT_EQ(api.state(obj).warnings, CORR_WARN_RMS_B);
    api.destroy(obj);
    // One silent signal beside a loud one: it has no power, whatever rounding noise the loud one
    // leaves in the shared transform, so there is no peak either.
    for (bool silentB : {true, false}) {
        ASSERT_EQ(api.init(&obj, 8000, 8000, 200, 1200, 200, 0.2, 0.2, 0.3), 0);
        const auto x = Noise(8192, 5, 32000);
        const std::vector<int16_t> zeros(x.size(), 0);
        if (silentB)
            Put(api, obj, x, zeros);
        else
            Put(api, obj, zeros, x);
        const TCorrRes r = api.state(obj);
        EXPECT_EQ(r.max, 0.0);
        EXPECT_EQ(r.delay, -1);
        EXPECT_EQ(silentB ? r.rms_b : r.rms_a, 0.0);
        EXPECT_GT(silentB ? r.rms_a : r.rms_b, 0.2);
        EXPECT_EQ(r.warnings, (silentB ? CORR_WARN_RMS_B : CORR_WARN_RMS_A) | CORR_WARN_MAX);
        api.destroy(obj);
    }
    // The quietest signal a 16-bit stream can carry, one step in one sample, still counts.
    ASSERT_EQ(api.init(&obj, 8000, 8000, 200, 1200, 200, 0.2, 0.2, 0.3), 0);
    const auto loud = Noise(8192, 6, 32000);
    std::vector<int16_t> tick(loud.size(), 0);
    tick[4000] = 1;
    Put(api, obj, loud, tick);
    EXPECT_GT(api.state(obj).rms_b, 0.0);
    EXPECT_GT(api.state(obj).max, 0.0);
    api.destroy(obj);
}

TEST(QuendelLibrary, ResultsDoNotDependOnHowSamplesWereSplit) {
    const QuendelApi& api = EmbeddedQuendel();
    for (int length : {100, 8000, 32000}) {
        const int n = TransformLength(length);
        const auto x = Noise(size_t(n) * 5 / 2 + 17, 8u + length);
        const auto a = Delayed(x, 123), b = x;
        void* whole = CreateWindowEstimator(api, length);
        Put(api, whole, a, b);
        void* pieces = CreateWindowEstimator(api, length);
        std::mt19937 rng(static_cast<uint32_t>(length));
        size_t at = 0;
        while (at < a.size()) {
            // Empty calls, single samples, frame-sized pieces and pieces longer than the history.
            const size_t want = std::array<size_t, 5>{0, 1, 32, 257, size_t(n) + 3}[rng() % 5];
            const size_t take = std::min(want, a.size() - at);
            api.put(pieces, a.data() + at, b.data() + at, int32_t(take));
            at += take;
        }
        const TCorrRes r1 = api.state(whole), r2 = api.state(pieces);
        EXPECT_EQ(std::memcmp(&r1, &r2, sizeof r1), 0) << length;
        // Asking again does not change the history.
        const TCorrRes r3 = api.state(pieces);
        EXPECT_EQ(std::memcmp(&r1, &r3, sizeof r1), 0) << length;
        api.put(pieces, a.data(), b.data(), -5); // a negative count appends nothing
        api.put(pieces, nullptr, b.data(), 10);  // neither does a missing signal
        const TCorrRes r4 = api.state(pieces);
        EXPECT_EQ(std::memcmp(&r1, &r4, sizeof r1), 0) << length;
        api.destroy(whole);
        api.destroy(pieces);
    }
}

TEST(QuendelLibrary, FileAndMemoryImageGiveTheSameResults) {
    const QuendelApi& mem = EmbeddedQuendel();
    const QuendelApi& file = FileQuendel();
    ASSERT_NE(mem.state, file.state); // two separate copies of the code
    const auto x = Noise(20000, 77);
    const auto a = Delayed(x, 250);
    void* o1 = CreateWindowEstimator(mem, 16000);
    void* o2 = CreateWindowEstimator(file, 16000);
    Put(mem, o1, a, x);
    Put(file, o2, a, x);
    const TCorrRes r1 = mem.state(o1), r2 = file.state(o2);
    EXPECT_EQ(std::memcmp(&r1, &r2, sizeof r1), 0);
    EXPECT_EQ(r1.delay, 250);
    mem.destroy(o1);
    file.destroy(o2);
}

TEST(QuendelLibrary, MissingObjectIsHarmless) {
    const QuendelApi& api = EmbeddedQuendel();
    const int16_t s[2] = {1, 2};
    api.put(nullptr, s, s, 2);
    const TCorrRes r = api.state(nullptr);
    EXPECT_EQ(r.delay, 0);
    EXPECT_EQ(r.max, 0.0);
    EXPECT_EQ(api.destroy(nullptr), 0);
}

} // namespace
} // namespace vintrel::test

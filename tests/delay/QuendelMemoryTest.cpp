// What an estimator object costs and gives back.
#include "delay/QuendelApi.h"
#include "delay/SignalsForTests.h"
#include "quendel/CorrEstimator.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

namespace vintrel::test {
namespace {

long ResidentKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

int MappingCount() {
    std::ifstream in("/proc/self/maps");
    std::string line;
    int n = 0;
    while (std::getline(in, line)) ++n;
    return n;
}

TEST(QuendelMemory, ObjectStaysWithinItsBudget) {
    // About 164 bytes per point were budgeted (5.4 MB at N = 32768); the whole arena, with its
    // unused block ends, is counted.
    for (int length : {8000, 16000, 32000}) {
        quendel::CorrSettings s;
        s.length = length;
        quendel::CorrEstimator* e = nullptr;
        ASSERT_EQ(quendel::CorrEstimator::Create(s, &e), 0);
        EXPECT_LE(double(e->ArenaBytes()), 164.0 * e->N()) << length;
        if (length == 32000) {
            EXPECT_LE(e->ArenaBytes(), size_t(5400000));
        }
        const auto x = Noise(size_t(e->N()), 1);
        e->PutFrame(x.data(), x.data(), int32_t(x.size()));
        const size_t before = e->ArenaBytes();
        e->State();
        EXPECT_EQ(e->ArenaBytes(), before); // an estimate takes no memory
        quendel::CorrEstimator::Destroy(e);
    }
}

TEST(QuendelMemory, TenThousandObjectsLeaveNothingBehind) {
    const QuendelApi& api = EmbeddedQuendel();
    const auto x = Noise(512, 2);
    auto cycle = [&](int times) {
        for (int i = 0; i < times; ++i) {
            void* obj = CreateWindowEstimator(api, 8000);
            ASSERT_NE(obj, nullptr);
            if (i % 100 == 0) { // now and then a used object, not only fresh ones
                Put(api, obj, x, x);
                api.state(obj);
            }
            ASSERT_GT(api.destroy(obj), 0);
        }
    };
    cycle(200); // settle the process's own allocations first
    const long rss = ResidentKiB();
    const int maps = MappingCount();
    cycle(10000);
    // Each object maps and touches about 0.6 MB: a leak of even one object in a hundred
    // would show here many times over.
    EXPECT_LE(ResidentKiB() - rss, 2048) << "resident memory grew";
    EXPECT_LE(MappingCount() - maps, 2) << "mappings were left behind";
}

} // namespace
} // namespace vintrel::test

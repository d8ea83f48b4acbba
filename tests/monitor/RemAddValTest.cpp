// The sorted-window replacement against a plain sort of the same window.
#include "monitor/RemAddVal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vintrel {

namespace {

int16_t BruteForce(std::vector<int16_t> window, double findx) {
    std::sort(window.begin(), window.end());
    return window[size_t(PercentileIndex(int(window.size()), findx))];
}

} // namespace

TEST(RemAddVal, MatchesABruteForceSortOverRandomReplacements) {
    std::mt19937 rng(7);
    for (int size : {1, 2, 3, 17, 250, 1200}) {
        for (int range : {4, 300, 65536}) { // many duplicates, some, hardly any
            SCOPED_TRACE(testing::Message() << "window " << size << " range " << range);
            std::uniform_int_distribution<int> value(-range / 2, range / 2 - 1);
            std::vector<int16_t> ring(size_t(size), 0);
            for (auto& v : ring) v = int16_t(value(rng));
            std::vector<int16_t> sorted = ring;
            QuickSort(sorted.data(), size - 1, 0);
            const double findx[] = {0.0, 0.33, 0.45, 0.5, 1.0};
            for (int step = 0; step < 3000; ++step) {
                const size_t at = size_t(step % size);
                const int16_t out = ring[at], in = int16_t(value(rng));
                ring[at] = in;
                const double f = findx[step % 5];
                const int16_t got = RemAddVal<int16_t>(sorted.data(), size, out, in, f);
                ASSERT_EQ(got, BruteForce(ring, f)) << "step " << step;
                ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
            }
            std::vector<int16_t> expected = ring;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(sorted, expected);
        }
    }
}

TEST(RemAddVal, EdgeCasesOfThePercentileAndTheReplacement) {
    // Equal values removed and added: the percentile of the unchanged array.
    std::vector<int16_t> a{1, 2, 3, 4, 5};
    EXPECT_EQ(RemAddVal<int16_t>(a.data(), 5, 3, 3, 0.5), 3);
    EXPECT_EQ(a, (std::vector<int16_t>{1, 2, 3, 4, 5}));
    // Round half to even: a window of 250 has its median at element 124, not 125.
    EXPECT_EQ(PercentileIndex(250, 0.5), 124);
    EXPECT_EQ(PercentileIndex(1200, 0.45), 540);  // 539.55
    EXPECT_EQ(PercentileIndex(3600, 0.33), 1188); // 1187.67
    // Moving a value to either end.
    EXPECT_EQ(RemAddVal<int16_t>(a.data(), 5, 1, 9, 1.0), 9);
    EXPECT_EQ(a, (std::vector<int16_t>{2, 3, 4, 5, 9}));
    EXPECT_EQ(RemAddVal<int16_t>(a.data(), 5, 9, -7, 0.0), -7);
    EXPECT_EQ(a, (std::vector<int16_t>{-7, 2, 3, 4, 5}));
    // A value that is not in the window changes nothing (the window is never corrupted).
    EXPECT_EQ(RemAddVal<int16_t>(a.data(), 5, 100, 1, 1.0), 5);
    EXPECT_EQ(RemAddVal<int16_t>(a.data(), 5, -100, 1, 0.0), -7);
    EXPECT_EQ(a, (std::vector<int16_t>{-7, 2, 3, 4, 5}));
    // An empty window has no level.
    EXPECT_EQ(RemAddVal<int16_t>(a.data(), 0, 1, 2, 0.5), -2);
}

} // namespace vintrel

#pragma once
// A stand-in for the estimator library with the same four entry points, for the delay
// analysis tests: it records what it is fed and answers with scripted results. Objects are
// never reused, so a call on a destroyed object is detected rather than crashing.
#include "delay/CorrLibrary.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace vintrel::test {

struct ScriptedEstimator {
    struct Object {
        std::atomic<bool> alive{true};
    };
    // Set by the test.
    int32_t initStatus = 0;
    TCorrRes next{}; // what GetCorr returns
    // Recorded.
    int32_t lastLength = 0;
    std::vector<int16_t> fedA, fedB;
    std::atomic<int> created{0}, destroyed{0}, puts{0}, states{0}, callsOnDeadObjects{0};
    std::mutex objectsMutex;
    std::deque<std::unique_ptr<Object>> objects;

    static ScriptedEstimator& Current();
    // Resets the recordings and scripts; returns the entry points.
    static CorrEntryPoints Start();
};

} // namespace vintrel::test

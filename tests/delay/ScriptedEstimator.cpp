#include "delay/ScriptedEstimator.h"

namespace vintrel::test {

namespace {

std::unique_ptr<ScriptedEstimator>& Instance() {
    static std::unique_ptr<ScriptedEstimator> s;
    return s;
}

int32_t Init(void** out, int32_t, int32_t length, int32_t, int32_t, int32_t, double, double, double) {
    ScriptedEstimator& s = ScriptedEstimator::Current();
    s.lastLength = length;
    if (s.initStatus != 0) return s.initStatus;
    std::lock_guard<std::mutex> lock(s.objectsMutex);
    s.objects.push_back(std::make_unique<ScriptedEstimator::Object>());
    *out = s.objects.back().get();
    ++s.created;
    return 0;
}

void Check(void* obj) {
    if (!static_cast<ScriptedEstimator::Object*>(obj)->alive.load())
        ++ScriptedEstimator::Current().callsOnDeadObjects;
}

void Put(void* obj, const int16_t* a, const int16_t* b, int32_t count) {
    Check(obj);
    ScriptedEstimator& s = ScriptedEstimator::Current();
    ++s.puts;
    if (s.fedA.size() > (1u << 20)) return; // enough for any check
    s.fedA.insert(s.fedA.end(), a, a + count);
    s.fedB.insert(s.fedB.end(), b, b + count);
}

TCorrRes State(void* obj) {
    Check(obj);
    ScriptedEstimator& s = ScriptedEstimator::Current();
    ++s.states;
    return s.next;
}

int32_t Destroy(void* obj) {
    Check(obj);
    static_cast<ScriptedEstimator::Object*>(obj)->alive = false;
    ++ScriptedEstimator::Current().destroyed;
    return 1;
}

} // namespace

ScriptedEstimator& ScriptedEstimator::Current() {
    return *Instance();
}

CorrEntryPoints ScriptedEstimator::Start() {
    Instance() = std::make_unique<ScriptedEstimator>();
    return CorrEntryPoints{Init, Put, State, Destroy};
}

} // namespace vintrel::test

#pragma once
// The engine with a window played by the test: messages are pumped on the test's thread.
#include "app/Engine.h"
#include "stream/QueueSink.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vintrel::test {

class EngineRig : public EngineView, public FrameConsumer {
public:
    explicit EngineRig(const Clock& clock = steady_, EngineHooks& hooks = EngineHooks::None())
        : engine(sink, clock, *this, hooks) {
        engine.Extractor().AddConsumer(this);
    }
    ~EngineRig() override { engine.Close(); }

    // EngineView
    void DrawFrame(int, TNewProtHeaderEveryFrameData&) override { ++drawn; }
    void TcpIpError(std::string_view text) override { tcpError = text; }
    void ErrorBox(std::string_view title, std::string_view text) override {
        errorBox = std::string(title) + ": " + std::string(text);
    }
    void Warning(std::string_view text, bool show) override {
        if (show) warning = text;
    }
    void LinkCountersChanged(const LinkCounters& l) override { shownLinks = {l.Reconnects(), l.LinkDrops()}; }
    void SetButtonsEnabled(bool enabled, bool automatic) override {
        if (!enabled) buttonsOff.push_back(automatic);
    }
    ConnectSettings CurrentConnectSettings() const override { return settings; }
    RecordSettings RecordingSettings() override { return recordSettings; }
    UserQuestions* RecordingQuestions() override { return questions; }
    // FrameConsumer (parsing thread)
    void OnFrame(const DecodedFrame& f) override {
        frames.fetch_add(1);
        if (f.FrameNum <= lastFrameNum.load()) outOfOrder.fetch_add(1); // repeated or backwards
        lastFrameNum.store(f.FrameNum);
    }

    void PumpOnce() {
        QueuedMessage m;
        while (sink.Take(m)) {
            if (m.Msg == WM_FRAME_REPORT)
                (m.WParam == kReportChecksum ? checksumReports : inconsistentReports)++;
            if (m.Msg == WM_TRANSPORT_REPORT) (m.LParam ? lostSync : noSignal)++;
            engine.AppMessage(m.Msg, m.WParam, m.LParam);
        }
    }
    template <class Pred> bool PumpUntil(Pred done, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        auto lastTimer = std::chrono::steady_clock::now();
        while (!done()) {
            PumpOnce();
            const auto now = std::chrono::steady_clock::now();
            if (now > end) return false;
            if (now - lastTimer > std::chrono::seconds(1)) {
                engine.OnTimer();
                lastTimer = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        PumpOnce();
        return true;
    }
    void PumpFor(int ms) {
        PumpUntil([] { return false; }, ms);
    }

    inline static SteadyClock steady_;
    QueueSink sink;
    Engine engine;
    ConnectSettings settings;
    RecordSettings recordSettings;
    UserQuestions* questions = nullptr;
    std::atomic<uint64_t> frames{0};
    std::atomic<int64_t> lastFrameNum{-1};
    std::atomic<uint64_t> outOfOrder{0};
    std::vector<bool> buttonsOff; // each time the buttons went off: by the program's reconnection?
    uint64_t drawn = 0, checksumReports = 0, inconsistentReports = 0, lostSync = 0, noSignal = 0;
    std::string tcpError, errorBox, warning;
    std::pair<uint32_t, uint32_t> shownLinks{0, 0}; // what the window's "Reconnects:" and "Link drops:" show
};

} // namespace vintrel::test

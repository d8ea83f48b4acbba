#include "support/ScriptedTarget.h"

#include "support/StreamServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vintrel::test {

using Clock = std::chrono::steady_clock;

ScriptedTarget::Script ScriptedTarget::FromSimulator(const sim::StreamConfig& config, uint64_t frames) {
    Script s;
    sim::StreamGenerator g(config);
    for (uint64_t k = 0; k < frames; ++k) {
        s.FrameStarts.push_back(s.Bytes.size());
        g.AppendNextFrame(s.Bytes);
    }
    s.PeriodMs = g.FramePeriodMs();
    return s;
}

ScriptedTarget::ScriptedTarget(Script script) : script_(std::move(script)) {
    listenFd_ = ListenOnLoopback(0, 4, port_);
    thread_ = std::thread([this] { Run(); });
}

ScriptedTarget::~ScriptedTarget() {
    stop_ = true;
    thread_.join();
    ::close(listenFd_);
}

bool ScriptedTarget::Wait(int ms) const {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !stop_;
}

bool ScriptedTarget::SendAll(int fd, size_t from, size_t to) {
    while (from < to && !stop_) {
        const ssize_t w = ::send(fd, script_.Bytes.data() + from, to - from, MSG_NOSIGNAL);
        if (w <= 0) return false;
        from += size_t(w);
    }
    return !stop_;
}

bool ScriptedTarget::Serve(int fd) {
    const size_t frames = script_.FrameStarts.size();
    auto startOf = [&](size_t k) { return k < frames ? script_.FrameStarts[k] : script_.Bytes.size(); };
    // The schedule starts again after every pause and connection, as a sender that was held up.
    auto base = Clock::now();
    size_t baseFrame = sent_.load();
    while (sent_.load() < frames) {
        const size_t k = sent_.load();
        const auto due =
            base + std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double, std::milli>(script_.PeriodMs * double(k - baseFrame)));
        std::this_thread::sleep_until(due);
        const auto pause = std::find_if(script_.Pauses.begin(), script_.Pauses.end(),
                                        [&](const Pause& p) { return p.AfterFrame + 1 == k; });
        if (pause != script_.Pauses.end()) {
            const size_t half = startOf(k) + (startOf(k + 1) - startOf(k)) / 2;
            if (pause->MidFrame && !SendAll(fd, startOf(k), half)) return false;
            if (!Wait(pause->Ms)) return false;
            if (!SendAll(fd, pause->MidFrame ? half : startOf(k), startOf(k + 1))) return false;
            base = Clock::now();
            baseFrame = k + 1;
        } else if (!SendAll(fd, startOf(k), startOf(k + 1))) {
            return false;
        }
        sent_.store(k + 1);
        if (std::count(script_.CloseAfter.begin(), script_.CloseAfter.end(), k)) return true;
    }
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(5)); // stays open
    return true;
}

void ScriptedTarget::Run() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) continue;
        ++accepted_;
        Serve(fd);
        ::shutdown(fd, SHUT_WR); // an orderly close: every byte sent arrives before the end
        ::close(fd);
    }
}

} // namespace vintrel::test

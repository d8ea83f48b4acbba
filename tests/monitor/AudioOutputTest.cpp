// Live listening through Qt Multimedia's QAudioSink into a real sound server of the test's own,
// recorded back from the sink's monitor.
#include "monitor/AudioOutput.h"

#include "monitor/AudioDeviceChoice.h"

#include "QtTestApp.h"
#include "SoundServer.h"
#include "stream/Clock.h"
#include "stream/QueueSink.h"

#include <gtest/gtest.h>

#include <QAudioSink>
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vintrel {

namespace {

int16_t SignalAt(int64_t i) {
    return int16_t(1 + (i * 7919) % 20000);
} // never 0

// The listened-chart frames the window was asked to show or hide, and the device list's states.
struct MarkerLog : ListenView {
    std::vector<std::pair<TChart, bool>> shown;
    std::vector<bool> listEnabled;
    void ShowListenMarker(TChart c, bool v) override { shown.emplace_back(c, v); }
    void EnableDeviceList(bool enabled) override { listEnabled.push_back(enabled); }
};

void PumpEvents(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

TEST(AudioDeviceChoice, TheListPositionFollowsTheStoredDeviceText) {
    const std::vector<std::string> two = {"Built-in Speakers", "USB Headset"};
    const std::vector<std::string> three = {"HDMI Out", "USB Speakers", "USB Headset"};
    struct Case {
        const char* what;
        std::vector<std::string> devices;
        std::string configured;
        int position; // 0 is "None", device i is i + 1
    };
    for (const Case& c : {
             Case{"first start: the first device", two, "", 1},
             Case{"a stored None keeps None", two, "none", 0},
             Case{"a part of the name, any case", two, "headset", 2},
             Case{"the whole name, lower-cased", two, "built-in speakers", 1},
             Case{"the last of several matches", three, "usb", 3},
             Case{"an unplugged device: the first one", two, "bluetooth", 1},
             Case{"no device: only None", {}, "", 0},
             Case{"no device, a stored name: only None", {}, "usb headset", 0},
         }) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AudioEnum(c.devices, c.configured), c.position);
    }
}

TEST(LiveListening, WithNoneSelectedNothingPlaysAndTheStatusLineSaysSo) {
    test::SoundServer::Instance(); // this process talks to the test's server, if there is one
    test::QtApp();
    QueueSink sink;
    ListenQueue queue(nullptr);
    MarkerLog marker;
    LiveListening out(queue, sink, &marker);
    EXPECT_EQ(out.DeviceNames(), std::vector<std::string>{"None"}); // before the devices are listed
    const int preferred = out.AudioEnum("none");
    EXPECT_EQ(preferred, 0);
    ASSERT_FALSE(out.DeviceNames().empty());
    EXPECT_EQ(out.DeviceNames()[0], "None");
    for (int position : {preferred, int(out.DeviceNames().size()) + 3}) { // "None"; no such entry
        SCOPED_TRACE(position);
        sink.SetStat("", StatStyle::Normal);
        marker.listEnabled.clear();
        out.SelectDevice(position);
        EXPECT_EQ(out.SelectedDevice(), 0);
        out.ChangeAudio(CHART13, 8000);
        EXPECT_EQ(sink.Status(), "No audio output device to play on");
        EXPECT_EQ(out.Listen(), NOCHART);
        EXPECT_TRUE(out.DeviceListEnabled());
        EXPECT_EQ(marker.listEnabled.back(), true); // locked for the attempt, given back after it
        EXPECT_TRUE(marker.shown.empty());
        EXPECT_EQ(out.Sink(), nullptr);
    }
}

TEST(LiveListening, PlaysAChannelThroughARealSoundServerInOrder) {
    test::SoundServer& server = test::SoundServer::Instance();
    if (!server.Ok()) GTEST_SKIP() << "no sound server: " << server.Why();
    test::QtApp();

    QueueSink sink;
    ManualClock clock;
    auto stream = std::make_unique<StreamState>(sink, clock);
    TNewProtHeaderEveryFrameData& r = stream->Decoder.HeaderEveryFrInfo[0];
    r.SamplesPtr[CHART11] = stream->Decoder.WordPtr(0, 16);
    r.SampleIndInBuf[CHART11] = 16;
    r.FrameLen[CHART11] = 32;
    ListenQueue queue(stream.get());
    MarkerLog marker;
    LiveListening out(queue, sink, &marker);
    const int position = out.AudioEnum("vintrel-test-null");
    // Qt Multimedia looks for the sound server once per process: when another test of the same
    // process opened it before this one started the server, the sink cannot be seen here.
    // (ctest runs every test in a process of its own, where this does not happen.)
    if (out.DeviceNames().size() < 2)
        GTEST_SKIP()
            << "Qt Multimedia was started before the sound server in this process; run this test alone";
    // The list position is the device that plays: "None" is entry 0, the test's sink the next.
    ASSERT_EQ(position, 1);
    ASSERT_EQ(out.DeviceNames()[size_t(position)], test::SoundServer::kSinkDescription);
    out.SelectDevice(position);

    char path[] = "/tmp/vintrel-parec-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const pid_t recorder = server.StartRecording(path);
    ASSERT_GT(recorder, 0);
    PumpEvents(std::chrono::milliseconds(300));

    out.ChangeAudio(CHART11, 8000);
    ASSERT_EQ(out.Listen(), CHART11) << sink.Status();
    EXPECT_FALSE(out.DeviceListEnabled());
    EXPECT_EQ(marker.listEnabled.back(), false);
    ASSERT_NE(out.Sink(), nullptr);
    // The parsing thread: 32-sample frames at the pace of "8 Ksps, 4 ms" for 1.6 s.
    constexpr int kFrames = 400;
    std::atomic<bool> fed{false};
    std::thread parser([&] {
        const auto start = std::chrono::steady_clock::now();
        DecodedFrame f;
        for (int frame = 0; frame < kFrames; ++frame) {
            for (int j = 0; j < 32; ++j) r.SamplesPtr[CHART11][j] = SignalAt(int64_t(frame) * 32 + j);
            queue.OnFrame(f);
            std::this_thread::sleep_until(start + std::chrono::microseconds(4000 * (frame + 1)));
        }
        fed = true;
    });
    while (!fed.load()) PumpEvents(std::chrono::milliseconds(20));
    parser.join();
    // What is queued plays out: the lead-in and the 12 full buffers, 2048 ms of sound. The null sink
    // renders in large blocks, so its monitor hears the end up to about two seconds later.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (out.Sink()->processedUSecs() < 2048000 && std::chrono::steady_clock::now() < deadline)
        PumpEvents(std::chrono::milliseconds(50));
    EXPECT_GE(out.Sink()->processedUSecs(), 2048000);
    PumpEvents(std::chrono::milliseconds(2500));
    out.ChangeAudio(CHART11, 8000); // the second press stops it
    EXPECT_EQ(out.Listen(), NOCHART);
    EXPECT_TRUE(out.DeviceListEnabled());
    EXPECT_EQ(marker.listEnabled.back(), true);
    PumpEvents(std::chrono::milliseconds(200));
    test::SoundServer::StopRecording(recorder);
    ASSERT_EQ(marker.shown, (std::vector<std::pair<TChart, bool>>{{CHART11, true}, {CHART11, false}}));

    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ::unlink(path);
    const int16_t* rec = reinterpret_cast<const int16_t*>(bytes.data());
    const size_t n = bytes.size() / 2;
    ASSERT_GT(n, 8000u) << "parec recorded too little";
    // The channel's samples, in order: every non-zero sample recorded is the next one fed. Silence
    // leads (the lead-in; the monitor may have missed the start of it) and may stand between buffers
    // when the output ran dry.
    size_t first = 0;
    while (first < n && rec[first] == 0) ++first;
    ASSERT_LT(first, n) << "nothing but silence was recorded";
    EXPECT_GE(first, size_t(2 * ListenQueue::kBufferSamples));
    int64_t next = 0;
    for (size_t i = first; i < n; ++i) {
        if (rec[i] == 0) continue;
        ASSERT_EQ(rec[i], SignalAt(next)) << "recorded sample " << i << ", expected fed sample " << next;
        ++next;
    }
    // Whole buffers play: all of the 12 buffers the 400 frames filled (the 13th was still open).
    EXPECT_EQ(next, 12 * ListenQueue::kBufferSamples);
    EXPECT_EQ(queue.FramesSkipped(), 0u);
}

} // namespace vintrel

// Pictures of simulator recordings: the golden image, what every chart must show, and the command.
#include "monitor/Snapshot.h"

#include "QtTestApp.h"
#include "monitor/ChartLabels.h"
#include "monitor/PaletteLog.h"
#include "monitor/SimpleChart.h"
#include "sim/StreamGenerator.h"
#include "stream/ReplayTransport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace vintrel {

namespace {

std::vector<uint8_t> Recording(double seconds, uint32_t checksumEvery, uint32_t skipEvery) {
    sim::StreamConfig cfg;
    cfg.seed = 21;
    cfg.damage.badChecksumEvery = checksumEvery;
    cfg.damage.skipFrameEvery = skipEvery;
    return sim::GenerateStream(cfg, sim::FramesForSeconds(GetStreamFormat(cfg.format), seconds));
}

// "16 Ksps, 16 ms": 300 frames with a checksum error every 100, then 1600 clean frames (30.4 s), so
// that the noise statistics, restarted by the last error, fill again before the end.
std::vector<uint8_t> GoldenRecording() {
    sim::StreamConfig cfg;
    cfg.format = DataStreamFormat::Ksps16Ms16;
    cfg.seed = 21;
    cfg.damage.badChecksumEvery = 100;
    std::vector<uint8_t> bytes = sim::GenerateStream(cfg, 300);
    cfg.damage = {};
    cfg.startCounter = 300;
    const std::vector<uint8_t> clean = sim::GenerateStream(cfg, 1600);
    bytes.insert(bytes.end(), clean.begin(), clean.end());
    return bytes;
}

SnapshotResult Draw(const std::vector<uint8_t>& bytes, const SnapshotOptions& o) {
    test::QtApp();
    MemoryTransport t(bytes);
    return DrawSnapshot(
        t, [&t] { return t.Exhausted(); }, o);
}

// Pixels of the chart's plot (its 128 x 128 on the canvas) in colour c.
int Count(const QImage& img, int k, QRgb c) {
    int n = 0;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            n += img.pixel(Chart_XY[size_t(k)].X + 1 + x, Chart_XY[size_t(k)].Y + 1 + y) == c;
    return n;
}

std::string GoldenPath() {
    return std::string(VINTREL_MONITOR_GOLDEN_DIR) + "/snapshot_16k16_new.png";
}

} // namespace

TEST(Snapshot, ASimulatorRecordingMatchesTheGoldenImage) {
    const auto bytes = GoldenRecording();
    SnapshotOptions o;
    o.Replay.Format = DataStreamFormat::Ksps16Ms16;
    o.RatePosition = 6; // 32 frames a column: the 64 columns on screen hold the whole recording
    o.DbOffset = 24;
    o.Vad = true;
    o.NoiseLevel = true;
    o.Title = "golden  16 Ksps, 16 ms";
    const SnapshotResult r = Draw(bytes, o);
    ASSERT_EQ(r.Image.size(), QSize(570, 440));
    EXPECT_GE(r.FramesDrawn, 1880u);
    EXPECT_EQ(r.Totals.ChecksumErrors, 3u);
    // What every chart must show: bars on the five channel charts and the MIPS chart, voiced columns
    // where the stream carries voice activity (RXout, with "VAD"), the noise level, the green line of
    // the AGC gain, and a stripe for each damaged frame.
    for (int k = 1; k <= 6; ++k)
        EXPECT_GT(Count(r.Image, k, TSimpleChart::kOrdinary) + Count(r.Image, k, TSimpleChart::kVoiced), 300)
            << "chart " << k;
    EXPECT_GT(Count(r.Image, 6, TSimpleChart::kOrdinary), 1000); // the MIPS load
    EXPECT_GT(Count(r.Image, 5, TSimpleChart::kVoiced), 300);
    for (int k = 1; k <= 5; ++k)
        EXPECT_GT(Count(r.Image, k, TSimpleChart::kNoiseMarker), 20) << "chart " << k;
    EXPECT_GT(Count(r.Image, 3, TSimpleChart::kGreenLine), 20);
    EXPECT_GT(Count(r.Image, 5, TSimpleChart::kGreenLine), 20);
    for (int k = 1; k <= 6; ++k)
        EXPECT_GE(Count(r.Image, k, TSimpleChart::kStripeChecksum), 3 * 2 * 120) << k;

    if (std::getenv("VINTREL_UPDATE_GOLDEN")) {
        ASSERT_TRUE(r.Image.save(QString::fromStdString(GoldenPath()), "PNG"));
        GTEST_SKIP() << "golden image written to " << GoldenPath();
    }
    QImage golden(QString::fromStdString(GoldenPath()));
    ASSERT_FALSE(golden.isNull()) << GoldenPath();
    golden = golden.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(golden.size(), r.Image.size());
    // Text may render a little differently with another font build; the plots may not.
    int differing = 0, plotDiffering = 0;
    for (int y = 0; y < golden.height(); ++y) {
        for (int x = 0; x < golden.width(); ++x) {
            const QRgb a = golden.pixel(x, y), b = r.Image.pixel(x, y);
            if (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                    std::abs(qBlue(a) - qBlue(b)) <=
                24)
                continue;
            ++differing;
            for (int k = 1; k <= 6; ++k) {
                const int px = x - Chart_XY[size_t(k)].X - 1, py = y - Chart_XY[size_t(k)].Y - 1;
                plotDiffering += px >= 0 && px < 128 && py >= 0 && py < 128;
            }
        }
    }
    EXPECT_LE(plotDiffering, 40);                                // of 98 304 plot pixels
    EXPECT_LE(differing, golden.width() * golden.height() / 50); // 2 % of the picture
}

TEST(Snapshot, SpectrumAndTheFirstSeconds) {
    const auto bytes = Recording(4, 0, 0);
    SnapshotOptions o;
    o.Spectrum = true;
    o.FftLength = 512;
    o.Seconds = 2;
    const SnapshotResult r = Draw(bytes, o);
    EXPECT_EQ(r.FramesDrawn, 500u); // 2 s of 4-ms frames
    // 512-point blocks of 32-sample frames: two columns per 16 frames, on the five channels.
    EXPECT_NEAR(double(r.SpectrumColumns), 5 * 2 * 500 / 16.0, 10);
    int coloured = 0;
    for (int k = 1; k <= 5; ++k) coloured += Count(r.Image, k, PaletteLog[0]) < 128 * 128 - 500;
    EXPECT_EQ(coloured, 5); // every spectrum shows more than the floor colour
}

TEST(Snapshot, CommandWritesAPngAndRefusesBadOptions) {
    const auto bytes = Recording(3, 0, 0);
    char dir[] = "/tmp/vintrel-snap-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string raw = std::string(dir) + "/rec.raw", png = std::string(dir) + "/out.png";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    auto run = [](const std::string& args) {
        const std::string cmd = std::string(VINTREL_CLI_PATH) + " snapshot " + args + " >/dev/null 2>&1";
        const int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(raw + " --png " + png + " --rate 2 --linear --noise-level"), 0);
    const QImage written(QString::fromStdString(png));
    EXPECT_EQ(written.size(), QSize(570, 440));
    EXPECT_EQ(run(raw), 2);                                  // no --png
    EXPECT_EQ(run(raw + " --png " + png + " --rate 9"), 2);  // rate out of range
    EXPECT_EQ(run(raw + " --png " + png + " --fft 300"), 2); // not an FFT length
    EXPECT_EQ(run(std::string(dir) + "/missing.raw --png " + png), 2);
    const std::string empty = std::string(dir) + "/empty.raw";
    std::ofstream(empty).close();
    EXPECT_EQ(run(empty + " --png " + png), 1); // no frames
    std::remove(raw.c_str());
    std::remove(png.c_str());
    std::remove(empty.c_str());
    ::rmdir(dir);
}

} // namespace vintrel

// Pictures of simulator recordings: the golden image, what every chart must show, and the command.
#include "monitor/Snapshot.h"

#include "QtTestApp.h"
#include "monitor/ChartLabels.h"
#include "monitor/PaletteLog.h"
#include "monitor/SimpleChart.h"
#include "monitor/SnapshotLayout.h"
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

TEST(Snapshot, SizesTicksAndTheirLabels) {
    struct SizeCase {
        const char* Text;
        bool Valid;
        int W, H;
    };
    for (const SizeCase& c :
         {SizeCase{"1200x900", true, 1200, 900}, SizeCase{"640X480", true, 640, 480}, SizeCase{"1200", false},
          SizeCase{"x900", false}, SizeCase{"1200x", false}, SizeCase{"-5x10", false},
          SizeCase{"12 x9", false}, SizeCase{"999999x9", false}}) {
        const auto wh = ParseSnapshotSize(c.Text);
        ASSERT_EQ(wh.has_value(), c.Valid) << c.Text;
        if (wh) EXPECT_EQ(*wh, std::make_pair(c.W, c.H)) << c.Text;
    }
    const LayoutRect least = SmallestSnapshot(40);
    EXPECT_TRUE(SnapshotSizeError(least.W, least.H, 40).empty());
    EXPECT_TRUE(SnapshotSizeError(8192, 8192, 40).empty());
    EXPECT_NE(SnapshotSizeError(least.W - 1, least.H, 40).find("to 8192x8192"), std::string::npos);
    EXPECT_FALSE(SnapshotSizeError(least.W, least.H - 1, 40).empty());
    EXPECT_FALSE(SnapshotSizeError(8193, 900, 40).empty());
    // The smallest picture still gives every plot half its own size, and no plot leaves the picture.
    for (const auto& [w, h] : {std::make_pair(least.W, least.H), std::make_pair(1200, 900)}) {
        const SnapshotLayout l = LayOutSnapshot(w, h, 40);
        for (int k = 1; k <= 6; ++k) {
            EXPECT_GE(l.Plot[size_t(k)].W, SnapshotLayout::kMinPlot) << w;
            EXPECT_GE(l.Plot[size_t(k)].H, SnapshotLayout::kMinPlot) << w;
            EXPECT_LE(l.Plot[size_t(k)].X + l.Plot[size_t(k)].W + 40, w) << w;
        }
        EXPECT_LE(l.AxisTop + SnapshotLayout::kTimeAxis + SnapshotLayout::kBelow, h) << h;
    }
    // Ticks: a 1-2-5 step that keeps them apart, none before the record's start.
    struct TickCase {
        double From, To;
        int Pixels;
        double Step;
        size_t Count;
        const char* Last;
    };
    for (const TickCase& c :
         {TickCase{-3.2, 4.99, 128, 5, 1, "0"}, TickCase{0, 30, 400, 5, 7, "30"},
          TickCase{10.24, 30.72, 900, 2, 10, "30"}, TickCase{0.5, 0.756, 300, 0.05, 6, "0.75"},
          TickCase{0, 1000, 64, 1000, 2, "1000"}}) {
        const TimeTicks t = ChooseTimeTicks(c.From, c.To, c.Pixels, 48);
        EXPECT_DOUBLE_EQ(t.Step, c.Step) << c.To;
        ASSERT_EQ(t.Seconds.size(), c.Count) << c.To;
        EXPECT_EQ(TimeTickLabel(t.Seconds.back(), t.Step), c.Last);
        EXPECT_GE(t.Seconds.front(), std::max(0.0, c.From));
    }
}

TEST(Snapshot, ALargerPictureStretchesThePlotsAndHasATimeAxis) {
    const auto bytes = Recording(6, 0, 0);
    SnapshotOptions o;
    o.Width = 1200;
    o.Height = 900;
    const SnapshotResult r = Draw(bytes, o);
    ASSERT_EQ(r.Image.size(), QSize(1200, 900));
    const SnapshotLayout l = LayOutSnapshot(1200, 900, SnapshotLabelRoom());
    const QRgb face = r.Image.pixel(2, 890);
    for (int k = 4; k <= 6; ++k) {
        const LayoutRect& plot = l.Plot[size_t(k)];
        // The stretched plot: level columns reach its right part (RXin carries no signal).
        int bars = k == 4 ? 201 : 0;
        for (int y = plot.Y; y < plot.Y + plot.H; ++y)
            for (int x = plot.X + plot.W * 3 / 4; x < plot.X + plot.W; ++x)
                bars += r.Image.pixel(x, y) == TSimpleChart::kOrdinary ||
                        r.Image.pixel(x, y) == TSimpleChart::kVoiced;
        EXPECT_GT(bars, 200) << k;
        // The axis line over the plot's width, tick marks below it, and the labels below them.
        int line = 0, ticks = 0, text = 0;
        for (int x = plot.X; x < plot.X + plot.W; ++x) {
            line += r.Image.pixel(x, l.AxisTop + 2) != face;
            ticks += r.Image.pixel(x, l.AxisTop + 6) != face;
            for (int y = l.AxisTop + 9; y < l.AxisTop + 22; ++y) text += qGray(r.Image.pixel(x, y)) < 64;
        }
        EXPECT_GE(line, plot.W - 1) << k;
        EXPECT_GE(ticks, 3) << k;     // 6 s at 8 frames a column: ticks every second or two
        EXPECT_LE(ticks, 12) << k;    // and no more than the labels leave room for
        EXPECT_GT(text, 3 * 10) << k; // at least three labels
    }
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
    const std::string json = std::string(dir) + "/summary.json";
    const std::string sized = std::string(VINTREL_CLI_PATH) + " snapshot " + raw + " --png " + png +
                              " --size 1200x900 --json >" + json + " 2>/dev/null";
    EXPECT_EQ(std::system(sized.c_str()), 0);
    EXPECT_EQ(QImage(QString::fromStdString(png)).size(), QSize(1200, 900));
    std::string summary;
    std::getline(std::ifstream(json), summary);
    EXPECT_NE(summary.find("\"width\":1200"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"height\":900"), std::string::npos) << summary;
    for (const char* size : {"100x100", "9000x900", "1200x9000", "0x0", "1200", "12x9x3", "axb"})
        EXPECT_EQ(run(raw + " --png " + png + " --size " + size), 2) << size;
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
    std::remove(json.c_str());
    ::rmdir(dir);
}

} // namespace vintrel

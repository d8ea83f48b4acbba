// Pixels of the level chart, read back from its image and from the parent surface.
#include "monitor/SimpleChart.h"

#include "QtTestApp.h"
#include "monitor/ChartLabels.h"
#include "monitor/PaletteLog.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cmath>
#include <memory>
#include <vector>

namespace vintrel {

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

struct Rig {
    explicit Rig(int mode, int rate = 0, bool slider = true) {
        test::QtApp();
        palette = QGuiApplication::palette();
        canvas = QImage(400, 240, QImage::Format_RGB32);
        canvas.fill(palette.color(QPalette::Button));
        chart = std::make_unique<TSimpleChart>(&canvas, &label, 16, 48, mode, rate,
                                               slider ? &dbSlider : nullptr, palette);
        chart->SetOptFeatures(false, false);
    }
    QRgb At(int x, int y) const { return chart->BitMap().pixel(x, y); }
    QRgb Face() const { return palette.color(QPalette::Button).rgb(); }
    int CountInRow(int y, QRgb c) const {
        int n = 0;
        for (int x = 0; x < 128; ++x) n += At(x, y) == c;
        return n;
    }

    QPalette palette;
    QImage canvas;
    ChartLabel label;
    DbSlider dbSlider;
    std::unique_ptr<TSimpleChart> chart;
};

} // namespace

TEST(SimpleChart, CreationPaintsTheScaleColumnFrameAndSlider) {
    Rig amp(kModeAmplitude);
    for (int row : {0, 25, 51, 76, 102, 127}) EXPECT_EQ(amp.At(129, row), TSimpleChart::kScaleDot) << row;
    EXPECT_EQ(amp.At(129, 10), TSimpleChart::kNoiseMarker); // about -1 dB, in the bar modes
    EXPECT_EQ(amp.At(129, 3), kWhite);
    for (int x = 0; x < 129; ++x) ASSERT_EQ(amp.At(x, 64), kWhite);
    EXPECT_EQ(amp.dbSlider.Left, 16 + 156);
    EXPECT_EQ(amp.dbSlider.Top, 48 - 6);
    EXPECT_EQ(amp.dbSlider.Max, 48);
    EXPECT_EQ(amp.dbSlider.Height, 140);
    // The frame on the parent: shadow left and top, highlight right and bottom.
    const QRgb shadow = amp.palette.color(QPalette::Dark).rgb(),
               light = amp.palette.color(QPalette::Light).rgb();
    EXPECT_EQ(amp.canvas.pixel(16, 48 + 129), shadow);
    EXPECT_EQ(amp.canvas.pixel(16, 48 + 1), shadow);
    EXPECT_EQ(amp.canvas.pixel(16 + 128, 48), shadow);
    EXPECT_EQ(amp.canvas.pixel(16 + 129, 48 + 128), light);
    EXPECT_EQ(amp.canvas.pixel(16 + 2, 48 + 129), light);
    // Major ticks at the six label rows, minor ones 13 below the upper five.
    const int right = 16 + 129;
    for (int i = 0; i <= 5; ++i) {
        const int y = 49 + std::vector<int>{0, 25, 51, 76, 102, 127}[size_t(i)];
        for (int x = right + 2; x <= right + 5; ++x) EXPECT_EQ(amp.canvas.pixel(x, y), shadow) << i;
        EXPECT_NE(amp.canvas.pixel(right + 6, y), shadow);
        if (i < 5) {
            EXPECT_EQ(amp.canvas.pixel(right + 3, y + 13), shadow);
        }
    }
    // The plot itself is copied to (Left + 1, Top + 1).
    EXPECT_EQ(amp.canvas.pixel(17, 49 + 64), kWhite);

    Rig log(kModeLog);
    EXPECT_EQ(log.At(129, 3), TSimpleChart::kNoiseMarker);
    EXPECT_EQ(log.At(129, 10), kWhite);
    Rig mips(kModeMips, 0, false); // no slider: no reference dot
    EXPECT_EQ(mips.At(129, 3), kWhite);
    EXPECT_EQ(mips.At(129, 10), kWhite);
}

TEST(SimpleChart, BarRowsAtFullScaleAndAtZero) {
    Rig r(kModeAmplitude);
    EXPECT_EQ(r.chart->CalcY(32767), -1);
    EXPECT_EQ(r.chart->CalcY(0), 126);
    r.chart->Add5(32767, -2, 0, -2); // column 0: the tick, then the bar to row -1
    EXPECT_EQ(r.At(126, 127), TSimpleChart::kTickNew);
    EXPECT_EQ(r.At(125, 127), TSimpleChart::kTickNew);
    for (int y = 0; y <= 126; ++y) ASSERT_EQ(r.At(126, y), TSimpleChart::kOrdinary) << y;
    r.chart->Add5(0, -2, 0, -2); // nothing above row 126
    EXPECT_EQ(r.At(126, 127), TSimpleChart::kOrdinary);
    EXPECT_EQ(r.At(126, 126), kWhite);
    EXPECT_EQ(r.At(124, 0), TSimpleChart::kOrdinary); // the first bar moved two pixels left
    EXPECT_EQ(r.chart->nTick, 2);
    // The parent shows the same picture.
    for (int y = 0; y < 128; ++y) ASSERT_EQ(r.canvas.pixel(17 + 124, 49 + y), r.At(124, y));

    // Slider at 48 dB: shift 0, anything above 128 is far above the top: a bar to row 0, no marker.
    Rig hot(kModeAmplitude);
    hot.chart->SetOptFeatures(true, false);
    hot.dbSlider.Position = 48;
    hot.chart->DbSliderChange();
    EXPECT_EQ(hot.chart->CalcY(129), -3);
    hot.chart->InitNoiseLevelCalc(2);
    hot.chart->Add5(1000, 0, 0, -2);
    hot.chart->Add5(1000, 0, 0, -2);
    ASSERT_EQ(hot.chart->Median, 1000);
    hot.chart->Add5(1000, 0, 0, -2);
    for (int y = 1; y <= 126; ++y) ASSERT_EQ(hot.At(126, y), TSimpleChart::kOrdinary) << y;
    EXPECT_EQ(hot.At(126, 0), kWhite);
    EXPECT_EQ(hot.CountInRow(1, TSimpleChart::kNoiseMarker), 0);
    // With 6 dB of slider a full-scale peak is far above the top too.
    Rig six(kModeAmplitude);
    six.dbSlider.Position = 6;
    six.chart->DbSliderChange();
    EXPECT_EQ(six.chart->CalcY(32767), 126 - 255);
    EXPECT_EQ(six.chart->CalcY(256), 124);
}

TEST(SimpleChart, LogarithmicModeClipsAtBothEndsOfItsThirtyDecibels) {
    Rig r(kModeLog);
    EXPECT_EQ(r.chart->CalcY(0), 127); // 0 counts as 1: -90 dB, below the range
    EXPECT_EQ(r.chart->CalcY(1), 127);
    EXPECT_EQ(r.chart->CalcY(32767), -1); // 0 dB: the top
    EXPECT_EQ(r.chart->CalcY(1036), 126); // -30 dB: the bottom of the range
    EXPECT_EQ(r.chart->CalcY(900), 127);  // -31 dB: below
    EXPECT_EQ(r.chart->CalcY(3277), 84);  // -20 dB: Round(10 x 4.233) rows above the bottom
    r.dbSlider.Position = 10;             // the range is now -40 .. -10 dB
    r.chart->DbSliderChange();
    EXPECT_EQ(r.dbSlider.Position, 10);   // not snapped in log mode
    EXPECT_EQ(r.chart->CalcY(32767), 0);  // above the range
    EXPECT_EQ(r.chart->CalcY(10362), -1); // exactly -10 dB
    EXPECT_EQ(r.chart->CalcY(327), 126);  // -40 dB
    r.chart->Add5(32767, -2, 0, -2);      // row 0: the bar stops below it
    for (int y = 1; y <= 126; ++y) ASSERT_EQ(r.At(126, y), TSimpleChart::kOrdinary) << y;
    EXPECT_EQ(r.At(126, 0), kWhite);
    EXPECT_EQ(r.At(129, 3), kWhite); // a dB offset removes the reference dot
}

TEST(SimpleChart, NoDataColumnsAreButtonFaceAndDoNotAdvanceTheTicks) {
    Rig r(kModeAmplitude);
    for (int i = 0; i < 3; ++i) r.chart->Add5(-2, -2, 0, -2);
    EXPECT_EQ(r.chart->nTick, 0);
    for (int x = 122; x <= 127; ++x)
        for (int y = 1; y <= 127; ++y) ASSERT_EQ(r.At(x, y), r.Face()) << x << "," << y;
    for (int x = 0; x < 122; ++x) ASSERT_EQ(r.At(x, 64), kWhite);
    r.chart->Add5(100, -2, 0, -2); // the first real column carries the first tick
    EXPECT_EQ(r.At(125, 127), TSimpleChart::kTickNew);
    EXPECT_EQ(r.chart->nTick, 1);
}

TEST(SimpleChart, TicksEverySixteenColumnsInTheProtocolsColour) {
    for (bool newProt : {true, false}) {
        Rig r(kModeAmplitude);
        for (int i = 0; i < 40; ++i)
            newProt ? r.chart->Add5(1000, -2, 0, -2) : r.chart->Add4(1000, -2, 0, -2);
        const QRgb tick = newProt ? TSimpleChart::kTickNew : TSimpleChart::kTickOld;
        // Columns 0, 16 and 32, now at x = 126 - 2 x (39 - n), two pixels wide at the bottom row.
        for (int n : {0, 16, 32}) {
            const int x = 126 - 2 * (39 - n);
            EXPECT_EQ(r.At(x, 127), tick) << n;
            EXPECT_EQ(r.At(x - 1, 127), tick) << n;
            EXPECT_EQ(r.At(x, 126), TSimpleChart::kOrdinary) << n; // the bar goes on above it
        }
        EXPECT_EQ(r.CountInRow(127, tick), 6);
        EXPECT_EQ(r.At(126 - 2 * (39 - 17), 127), TSimpleChart::kOrdinary);
        // The grid: every second column carries the grey dots of the scale column.
        EXPECT_EQ(r.At(127, 25), TSimpleChart::kScaleDot);
        EXPECT_EQ(r.At(125, 25), TSimpleChart::kScaleDot);
        EXPECT_EQ(r.At(127, 10), TSimpleChart::kNoiseMarker); // the -1 dB reference line
    }
}

TEST(SimpleChart, StripeColoursForDamagedFrames) {
    struct Case {
        bool spectrum, checksum;
        QRgb colour;
    };
    const Case cases[] = {{false, false, TSimpleChart::kStripeInconsistent},
                          {false, true, TSimpleChart::kStripeChecksum},
                          {true, false, TSimpleChart::kStripeInconsistentSpectrum},
                          {true, true, TSimpleChart::kStripeChecksumSpectrum}};
    for (const Case& c : cases) {
        Rig r(c.spectrum ? kModeSpectrum : kModeAmplitude);
        if (c.spectrum) { // a spectrum column first: its pen is 2 wide, the stripe 3
            std::vector<float> silent(128, 0.0f);
            r.chart->AddSpectrumLog(silent.data(), 128, 32768, -96, 0);
        }
        r.chart->AddIncFrameIndWTick(c.spectrum, true, c.checksum);
        for (int y = 1; y <= 127; ++y) {
            ASSERT_EQ(r.At(126, y), c.colour) << y;
            ASSERT_EQ(r.At(125, y), c.colour) << y;
        }
        EXPECT_EQ(r.At(127, 64), c.spectrum ? c.colour : kWhite);
        EXPECT_EQ(r.At(126, 0), kWhite);
        if (c.spectrum) {
            EXPECT_EQ(r.At(124, 0), PaletteLog[0]); // the spectrum column, top row included
        }
        EXPECT_EQ(r.chart->nTick, c.spectrum ? 2 : 1);
    }
}

TEST(SimpleChart, RateChangesCompleteTheCurrentColumnAndColumnsHoldTheMaximum) {
    Rig r(kModeAmplitude, 2); // 4 frames a column
    r.chart->Add5(256, -2, 0, -2);
    r.chart->SetRate(0);
    r.chart->Add5(2560, -2, 0, -2);
    r.chart->Add5(512, -2, 0, -2);
    EXPECT_EQ(r.chart->nTick, 0);
    EXPECT_EQ(r.CountInRow(127, TSimpleChart::kOrdinary) + r.CountInRow(127, TSimpleChart::kTickNew), 0);
    r.chart->Add5(256, -2, 0, -2);
    EXPECT_EQ(r.chart->nTick, 1);
    EXPECT_EQ(r.At(126, 117), TSimpleChart::kOrdinary); // 2560 >> 8 = 10: the bar reaches row 117
    EXPECT_EQ(r.At(126, 116), kWhite);
    r.chart->Add5(256, -2, 0, -2);
    EXPECT_EQ(r.chart->nTick, 2); // now one column a frame

    Rig slow(kModeAmplitude, 6); // the slowest rate: 64 frames a column, their maximum
    for (int i = 0; i < 63; ++i) slow.chart->Add5(int16_t(i == 20 ? 12800 : 256), -2, 0, -2);
    EXPECT_EQ(slow.chart->nTick, 0);
    slow.chart->Add5(256, -2, 0, -2);
    EXPECT_EQ(slow.chart->nTick, 1);
    EXPECT_EQ(slow.At(126, 77), TSimpleChart::kOrdinary); // 12800 >> 8 = 50
    EXPECT_EQ(slow.At(126, 76), kWhite);
}

TEST(SimpleChart, VoicedColumnsMarkersAndTheGreenLine) {
    Rig r(kModeAmplitude);
    r.chart->SetOptFeatures(true, true);
    EXPECT_TRUE(r.label.Visible);
    r.chart->InitNoiseLevelCalc(4);
    for (int i = 0; i < 5; ++i) r.chart->Add5(1000, 0, 0, 8000); // unvoiced: the noise level becomes 1000
    ASSERT_EQ(r.chart->Median, 1000);
    EXPECT_EQ(r.At(126, 124), TSimpleChart::kOrdinary); // 1000 >> 8 = 3: row 123
    // Red noise marker, two pixels wide and high, at row 123 over columns 125 and 126.
    EXPECT_EQ(r.At(126, 123), TSimpleChart::kNoiseMarker);
    EXPECT_EQ(r.At(125, 122), TSimpleChart::kNoiseMarker);
    EXPECT_EQ(r.At(124, 123), TSimpleChart::kNoiseMarker); // the previous column's marker
    // Green line at 8000 >> 8 = 31: row 95, joined to the previous column.
    EXPECT_EQ(r.At(126, 95), TSimpleChart::kGreenLine);
    EXPECT_EQ(r.At(125, 94), TSimpleChart::kGreenLine);
    EXPECT_EQ(r.At(124, 95), TSimpleChart::kGreenLine);
    EXPECT_EQ(r.chart->LastVol, 95);

    r.chart->Add5(16000, 30000, 0, -2); // voiced: a purple bar, the held level becomes 16000
    EXPECT_EQ(r.At(126, 70), TSimpleChart::kVoiced);
    EXPECT_EQ(r.chart->held_sl_current, 16000);
    EXPECT_EQ(r.label.Caption, "SNR=24"); // 8.66 x ln(16000 / 1000)
    r.chart->Add5(1000, 0, 0, -2);
    // The pink held-level marker at row 126 - 62 = 64, drawn before the scroll: two pixels left.
    EXPECT_EQ(r.At(124, 64), TSimpleChart::kHeldMarker);
    EXPECT_EQ(r.At(123, 64), TSimpleChart::kHeldMarker);
    EXPECT_EQ(r.At(126, 64), kWhite);
    EXPECT_EQ(r.At(126, 124), TSimpleChart::kOrdinary);

    // Near a tick the bottom-row markers give way: a noise level of 0 sits at row 126.
    Rig q(kModeAmplitude);
    q.chart->SetOptFeatures(true, false);
    q.chart->InitNoiseLevelCalc(2);
    q.chart->Add5(0, 0, 0, -2); // nTick 0
    q.chart->Add5(0, 0, 0, -2); // nTick 1: the noise level is now 0, row 126, too close to the tick
    EXPECT_EQ(q.At(126, 126), kWhite);
    q.chart->Add5(0, 0, 0, -2); // nTick 2: drawn
    EXPECT_EQ(q.At(126, 126), TSimpleChart::kNoiseMarker);
    EXPECT_EQ(q.At(125, 125), TSimpleChart::kNoiseMarker);
}

TEST(SimpleChart, SpectrumColumnsColourEveryRowFromThePalette) {
    Rig r(kModeSpectrum);
    EXPECT_FALSE(r.dbSlider.Visible);
    std::vector<float> bands(256, 0.0f); // 256 bands: two a row
    bands[0] = 65536.0f / 2;             // bin sums of 65536: 0 dB at the bottom row
    bands[1] = 65536.0f / 2;
    r.chart->AddSpectrumLog(bands.data(), 256, 32768, -96, 0);
    EXPECT_EQ(r.At(126, 127), TSimpleChart::kTickSpectrum); // column 0 carries the tick
    EXPECT_EQ(r.At(125, 126), PaletteLog[0]);
    r.chart->AddSpectrumLog(bands.data(), 256, 32768, -96, 0);
    EXPECT_EQ(r.At(126, 127), PaletteLog[255]);
    EXPECT_EQ(r.At(125, 127), PaletteLog[255]);
    for (int y = 0; y < 127; ++y) ASSERT_EQ(r.At(126, y), PaletteLog[0]) << y; // silence, top row included
    // An energy scale of 96 dB lifts the silent floor (-168 dB) into the range.
    std::vector<float> silent(256, 0.0f);
    r.chart->AddSpectrumLog(silent.data(), 256, 32768, -96, 96);
    EXPECT_EQ(r.At(126, 64), PaletteLog[63]);
    // A level 100/255 of the way up a 96-dB range, in the highest band (the top row).
    std::vector<float> mid(128, 0.0f);
    const double level = -96.0 + 100.0 / 255.0 * 96.0;
    mid[127] = float(256.0 * std::exp((level + 48.165) / 8.6859));
    r.chart->AddSpectrumLog(mid.data(), 128, 32768, -96, 0);
    EXPECT_EQ(r.At(126, 0), PaletteLog[100]);
    EXPECT_EQ(r.At(126, 1), PaletteLog[0]);
    EXPECT_EQ(PaletteLog[0], 0xFF020000u);
    EXPECT_EQ(PaletteLog[31], 0xFF540000u);
    EXPECT_EQ(PaletteLog[127], 0xFFFF5400u);
    EXPECT_EQ(PaletteLog[255], 0xFFFFFFFFu);
}

TEST(SimpleChart, SliderChangesSnapInTheBarModesAndEraseThePicture) {
    Rig r(kModeAmplitude);
    // The window hears of every change the chart makes to its slider, the snapped position included.
    std::vector<int> reported;
    r.dbSlider.Changed = [&] { reported.push_back(r.dbSlider.Visible ? r.dbSlider.Position : -1); };
    r.chart->Add5(20000, -2, 0, -2);
    r.dbSlider.Position = 8;
    r.chart->DbSliderChange();
    EXPECT_EQ(r.dbSlider.Position, 6); // Round(8 / 6) x 6
    EXPECT_EQ(reported, std::vector<int>{6});
    for (int x = 0; x < 128; ++x) ASSERT_EQ(r.At(x, 100), kWhite);
    EXPECT_EQ(r.At(129, 10), kWhite); // an offset hides the reference line
    r.dbSlider.Position = 11;
    r.chart->SetLogarithmic(kModeLog);
    EXPECT_EQ(r.dbSlider.Position, 11);
    r.chart->SetLogarithmic(kModeAmplitude); // truncated to a multiple of 6 in amplitude mode
    EXPECT_EQ(r.dbSlider.Position, 6);
    r.chart->SetLogarithmic(kModeSpectrum);
    EXPECT_FALSE(r.dbSlider.Visible);
    r.chart->SetLogarithmic(kModeLog);
    EXPECT_TRUE(r.dbSlider.Visible);
    EXPECT_EQ(reported, (std::vector<int>{6, 11, 6, -1, 6}));
}

// A label box is cleared as wide as the widest label the chart can draw there: no piece of a wider
// label of another mode, slider position or sampling rate stays beside a narrower one.
TEST(SimpleChart, AxisLabelsLeaveNoRemnantOfWiderOnes) {
    Rig fresh(kModeSpectrum); // labels 4000 .. 0, never anything else
    const auto sameLabels = [&](const Rig& r) {
        for (int y = 40; y < 190; ++y)
            for (int x = 16 + 131; x < 16 + 184; ++x)
                if (r.canvas.pixel(x, y) != fresh.canvas.pixel(x, y)) return false;
        return true;
    };
    Rig afterLog(kModeLog);
    afterLog.dbSlider.Position = 48; // "   -84" at the bottom
    afterLog.chart->DbSliderChange();
    afterLog.chart->SetLogarithmic(kModeSpectrum);
    EXPECT_TRUE(sameLabels(afterLog));

    Rig afterRate(kModeSpectrum);
    afterRate.chart->SpectrumMaxFreq = 12000;
    afterRate.chart->Repaint();
    EXPECT_FALSE(sameLabels(afterRate));
    afterRate.chart->SpectrumMaxFreq = 4000;
    afterRate.chart->Repaint();
    EXPECT_TRUE(sameLabels(afterRate));
}

TEST(SimpleChart, AxisLabelTexts) {
    EXPECT_EQ(YvalLog(6, 0), "   0   ");
    EXPECT_EQ(YvalLog(5, 0), "   -6  ");
    EXPECT_EQ(YvalLog(0, 12), "   -48");
    EXPECT_EQ(YvalAmpl(6, 0), "32K   ");
    EXPECT_EQ(YvalAmpl(6, 12), " 8K   ");
    EXPECT_EQ(YvalAmpl(6, 48), "128   ");
    EXPECT_EQ(YvalAmpl(5, 0), "0.8   ");
    EXPECT_EQ(YvalAmpl(1, 30), "0.0   ");
}

} // namespace vintrel

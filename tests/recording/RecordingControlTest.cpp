// Recording through the recorder and its window-side control: start, time limit, end with the
// parse, cancel, failures; the raw record and the files checked by independent readers.
#include "RecordingRun.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace vintrel {

using namespace test;
using sim::SimChannel;

namespace {

sim::StreamConfig Config(sim::Protocol p, DataStreamFormat f, bool be = false) {
    sim::StreamConfig c;
    c.protocol = p;
    c.format = f;
    c.bigEndian = be;
    c.seed = 21;
    return c;
}

bool Exists(const std::string& path) {
    return FileSize(path) >= 0;
}

} // namespace

TEST(Recording, TimeLimitEndsTheRecordingAndParsesIt) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 3600);
    for (const char* maxTime : {" 12 ", "$C"}) {
        SCOPED_TRACE(maxTime);
        RecordingRun run(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
        run.settings.MaxTimeText = maxTime;
        run.rc.StartStopButtonClick();
        ASSERT_TRUE(run.rc.IsRecording());
        EXPECT_EQ(run.rc.RecTotal, 12);
        EXPECT_EQ(run.rc.Controls().StartStopCaption, "End record");
        EXPECT_TRUE(run.rc.Controls().CancelEnabled);
        EXPECT_TRUE(run.rc.Controls().SettingsLocked);
        EXPECT_EQ(run.status.Status(), " Log recording");
        EXPECT_TRUE(Exists(run.dir.File("temp.$$$")));
        run.Play();
        EXPECT_FALSE(run.rc.IsRecording());
        EXPECT_EQ(run.rc.Controls().StartStopCaption, "Start record");
        EXPECT_EQ(run.rc.Controls().RecordedSec, "12");
        EXPECT_FALSE(run.rc.Controls().SettingsLocked);
        const ParseOutcome& o = run.rc.LastParse();
        EXPECT_GE(o.Frames, 3000);
        EXPECT_LT(o.Frames, 3000 + 48);
        EXPECT_EQ(o.Frames, run.rc.Recorder().RecNo.load());
        EXPECT_EQ(run.status.Status(), " 1 consistent fragment(s), total " + std::to_string(o.Frames) +
                                           "valid frames (12 sec) recorded");
        EXPECT_EQ(run.status.StatusKind(), StatKind::Sticky); // the result stays until the user acts
        EXPECT_FALSE(Exists(run.dir.File("temp.$$$")));       // "Delete raw record after parsing"
        EXPECT_EQ(run.shown, "[ph]"); // the hourglass over the whole parse, the bar within it
        EXPECT_FALSE(run.rc.Controls().Hourglass);
        EXPECT_EQ(run.Wav("Raw_TXIN1").samples, ChannelSamples(rec, SimChannel::Tx1In, 0, size_t(o.Frames)));
    }
}

TEST(Recording, MaxTimeZeroEndsAtTheFirstChangeOfTheClock) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::Old, DataStreamFormat::Ksps8Ms4), 1000);
    RecordingRun run(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    run.settings.MaxTimeText = "0";
    run.rc.StartStopButtonClick();
    run.Play();
    EXPECT_GE(run.rc.LastParse().Frames, 250); // one full second
    EXPECT_LT(run.rc.LastParse().Frames, 250 + 48);
    // A shown value left over from before ends the next recording at once.
    RecordingRun again(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    again.settings.MaxTimeText = "0";
    again.rc.RecShown = 5;
    again.rc.StartStopButtonClick();
    again.Play();
    EXPECT_LT(again.rc.LastParse().Frames, 48);
}

TEST(Recording, StartFailuresLeaveTheProgramIdle) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 10);
    for (const char* bad : {"12.5", "", "twelve"}) {
        RecordingRun run(rec.bytes, {});
        run.settings.MaxTimeText = bad;
        run.rc.StartStopButtonClick();
        EXPECT_FALSE(run.rc.IsRecording());
        ASSERT_EQ(run.questions.errors.size(), 1u);
        EXPECT_EQ(run.questions.errors[0], "Record duration must be an integer number");
        EXPECT_EQ(run.questions.captions[0], "TCP Sondrel");
        EXPECT_FALSE(Exists(run.dir.File("temp.$$$")));
    }
    RecordingRun run(rec.bytes, {});
    run.settings.RecordingsFolder = run.dir.File("no-such-folder");
    run.rc.StartStopButtonClick();
    EXPECT_FALSE(run.rc.IsRecording());
    ASSERT_EQ(run.questions.errors.size(), 1u);
    EXPECT_EQ(run.questions.errors[0],
              "Can't create a temporary file\nPerhaps you are using 'temp.$$$' file at this "
              "time\nor working in protected directory\nfolder " +
                  run.dir.File("no-such-folder") + ": No such file or directory");
    EXPECT_EQ(run.rc.Controls().StartStopCaption, "Start record");
}

TEST(Recording, ARecordingsFolderInUseIsRefusedUntilItsHolderHasParsed) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 600);
    RecordingRun a(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    RecordingRun b(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    a.settings.LockFolder = b.settings.LockFolder = true;
    b.settings.RecordingsFolder = a.dir.Path();
    const std::string inUse = "Recordings folder " + a.dir.Path() + " is in use by another Vintrel";
    a.rc.StartStopButtonClick();
    ASSERT_TRUE(a.rc.IsRecording());
    a.Play();
    b.rc.StartStopButtonClick();
    EXPECT_FALSE(b.rc.IsRecording());
    ASSERT_EQ(b.questions.errors, std::vector<std::string>{inUse});
    EXPECT_EQ(ReadBytes(a.dir.File("temp.$$$")), rec.bytes); // not emptied by the refused start
    a.rc.StartStopButtonClick();                             // ended and parsed: the folder is free
    EXPECT_GT(a.rc.LastParse().Frames, 0);
    b.rc.StartStopButtonClick();
    EXPECT_TRUE(b.rc.IsRecording());
    a.rc.StartStopButtonClick();
    EXPECT_FALSE(a.rc.IsRecording());
    EXPECT_EQ(a.questions.errors, std::vector<std::string>{inUse});
    b.rc.ButtonCancelRecClick(); // a cancelled recording frees it too
    a.rc.StartStopButtonClick();
    EXPECT_TRUE(a.rc.IsRecording());
}

TEST(Recording, ChecksumFramesAreRecordedFramesWithUnknownTagsOnlyCounted) {
    sim::StreamConfig c = Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4);
    c.damage.badChecksumEvery = 100;
    c.damage.unknownTagEvery = 151;
    const SimRecord rec = MakeSimRecord(c, 800);
    RecordingRun run(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    run.settings.DeleteRawRecord = false;
    run.rc.StartStopButtonClick();
    run.Play();
    EXPECT_EQ(run.rc.Recorder().RecNo.load(), 800);
    EXPECT_EQ(run.rc.Recorder().RecSec.load(), 3);
    run.rc.StartStopButtonClick();
    // Every frame but the five with an unknown tag, byte for byte.
    const size_t plain =
        MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 1).bytes.size();
    const std::vector<uint8_t> raw = ReadBytes(run.dir.File("temp.$$$"));
    EXPECT_EQ(raw.size(), 795 * plain);
    EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + long(150 * plain), rec.bytes.begin()));
    const ParseOutcome& o = run.rc.LastParse();
    EXPECT_EQ(o.badcs, 8);
    EXPECT_EQ(o.Frames, 795);
    EXPECT_EQ(o.Portion, 6); // each dropped frame is a break in the numbers
}

TEST(Recording, FrameWithAnUnknownTagAndABadChecksumIsLeftOutToo) {
    // Frames 251, 502 and 753 have both faults. Frame 251 is the one the parser learns the
    // record's tags from: kept in the record, its unknown tag made the parser refuse the record.
    sim::StreamConfig c = Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4);
    c.damage.badChecksumEvery = 251;
    c.damage.unknownTagEvery = 251;
    const SimRecord rec = MakeSimRecord(c, 800);
    RecordingRun run(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    run.settings.DeleteRawRecord = false;
    run.rc.StartStopButtonClick();
    run.Play();
    run.rc.StartStopButtonClick();
    EXPECT_EQ(run.rc.Recorder().RecNo.load(), 800);
    const size_t plain =
        MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 1).bytes.size();
    EXPECT_EQ(ReadBytes(run.dir.File("temp.$$$")).size(), 797 * plain);
    const ParseOutcome& o = run.rc.LastParse();
    EXPECT_FALSE(o.WrongStructure);
    EXPECT_EQ(o.Frames, 797);
    EXPECT_EQ(o.Portion, 4);
    EXPECT_EQ(o.badcs, 0);
    EXPECT_TRUE(run.questions.damage.empty());
    EXPECT_EQ(run.Wav("Raw_TXIN1").samples.size(), (797 + 3 * 250) * 32u);
}

TEST(Recording, CancelDeletesTheRawRecordWithoutParsing) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 600);
    for (bool keep : {false, true}) {
        RecordingRun run(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
        run.settings.DeleteRawRecord = !keep;
        run.rc.StartStopButtonClick();
        run.Play();
        run.rc.ButtonCancelRecClick();
        EXPECT_FALSE(run.rc.IsRecording());
        EXPECT_FALSE(run.rc.Controls().StartStopEnabled);
        EXPECT_FALSE(run.rc.Controls().CancelEnabled);
        EXPECT_EQ(run.status.Status(), "");
        EXPECT_EQ(Exists(run.dir.File("temp.$$$")), keep);
        EXPECT_EQ(run.dir.List().size(), keep ? 1u : 0u); // no WAV files
        if (keep) {
            EXPECT_EQ(ReadBytes(run.dir.File("temp.$$$")), rec.bytes);
        }
        run.rc.SetButtonsEnabled(true);
        EXPECT_TRUE(run.rc.Controls().StartStopEnabled);
    }
}

TEST(Recording, ARecordThatCannotBeParsedIsKeptUnderItsOwnName) {
    // Nothing but noise came: the parse finds no frame. "Delete raw record after parsing" is on,
    // yet the raw record stays, named so that the next recording does not overwrite it.
    RecordingRun run(std::vector<uint8_t>(5000, 0x55), {.Format = DataStreamFormat::Ksps8Ms4});
    run.rc.StartStopButtonClick();
    run.Play();
    run.rc.StartStopButtonClick();
    const std::string kept = run.rc.LastParse().KeptRawRecord;
    EXPECT_EQ(kept.rfind(run.dir.File("temp_"), 0), 0u) << kept;
    EXPECT_TRUE(Exists(kept));
    EXPECT_FALSE(Exists(run.dir.File("temp.$$$")));
    EXPECT_NE(run.status.Status().find("wrong file structure. Raw record kept: " + kept), std::string::npos)
        << run.status.Status();
    EXPECT_EQ(run.status.StatusKind(), StatKind::Sticky);
    EXPECT_EQ(run.shown, "[]"); // the hourglass ends with the failed parse too
}

TEST(Recording, WriteFailureIsReportedOnceAndTheRecordKeepsWholeFrames) {
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::Old, DataStreamFormat::Ksps8Ms4), 800);
    const size_t frame = rec.bytes.size() / 800;
    RecordingRun run(rec.bytes, {.Format = DataStreamFormat::Ksps8Ms4});
    run.rc.StartStopButtonClick();
    // Files of at most 100000 bytes: writes past it fail as on a full disk.
    run.files.limit = 100000;
    run.Play();
    run.files.limit = UINT64_MAX;

    const size_t kept = 100000 / frame;
    EXPECT_EQ(run.rc.Recorder().BytesWritten(), kept * frame);
    EXPECT_EQ(run.rc.Recorder().FramesLost(), 800 - kept);
    EXPECT_EQ(run.rc.Recorder().RecNo.load(), 800);
    EXPECT_EQ(run.status.Count("Raw record write error"), 1u);
    run.settings.DeleteRawRecord = false;
    run.rc.StartStopButtonClick();
    EXPECT_EQ(ReadBytes(run.dir.File("temp.$$$")),
              std::vector<uint8_t>(rec.bytes.begin(), rec.bytes.begin() + long(kept * frame)));
    EXPECT_EQ(run.rc.LastParse().Frames, int64_t(kept));
    EXPECT_EQ(run.Wav("Raw_RXOUT1").samples, ChannelSamples(rec, SimChannel::RxOut, 0, kept));
}

TEST(Recording, BigEndianStreamGivesTheSameFilesAsLittleEndian) {
    for (sim::Protocol p : {sim::Protocol::New, sim::Protocol::Old}) {
        std::vector<std::vector<uint8_t>> files[2];
        for (bool be : {false, true}) {
            const auto bytes = MakeSimRecord(Config(p, DataStreamFormat::Ksps16Ms2, be), 1500).bytes;
            RecordingRun run(bytes, {.Format = DataStreamFormat::Ksps16Ms2, .BigEndian = be});
            run.settings.MaxTimeText = "2";
            run.rc.StartStopButtonClick();
            run.Play();
            ASSERT_FALSE(run.rc.IsRecording());
            for (const std::string& name : run.dir.List()) {
                std::vector<uint8_t> content = ReadBytes(run.dir.File(name));
                // profile.c names the time it was written: the two runs may fall in different seconds.
                const std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
                if (const auto date = text.find("  Date: "); date != std::string_view::npos) {
                    const auto end = text.find('\n', date);
                    content.erase(content.begin() + long(date), content.begin() + long(end));
                }
                files[be].push_back(std::move(content));
            }
        }
        ASSERT_EQ(files[0].size(), p == sim::Protocol::New ? 18u : 11u); // with profile.c or PSK.txt
        EXPECT_TRUE(files[0] == files[1]);
    }
}

TEST(Recording, CloseAndFrameWriteExcludeEachOther) {
    // One thread writes frames as fast as it can while the window thread opens and closes raw
    // records: every record must hold whole frames only, and nothing may land after its close.
    const SimRecord rec = MakeSimRecord(Config(sim::Protocol::New, DataStreamFormat::Ksps8Ms4), 1);
    QueueSink sink;
    ManualClock clock;
    StreamState state(sink, clock);
    std::memcpy(state.Decoder.WordPtr(0, 0), rec.bytes.data(), rec.bytes.size());
    PosixFileSystem files;
    RawRecorder recorder(state, sink, files);
    TempDir dir;
    std::atomic<bool> stop{false};
    std::thread parser([&] {
        DecodedFrame f;
        f.Bytes = uint32_t(rec.bytes.size());
        while (!stop.load()) recorder.OnFrame(f);
    });
    for (int i = 0; i < 100; ++i) {
        const std::string path = dir.File("r" + std::to_string(i));
        ASSERT_TRUE(recorder.Create(path));
        recorder.Begin();
        std::this_thread::sleep_for(std::chrono::microseconds(200 + 37 * (i % 7)));
        recorder.StopAndClose();
        const uint64_t written = recorder.BytesWritten();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        const std::vector<uint8_t> b = ReadBytes(path);
        ASSERT_EQ(b.size(), written);
        ASSERT_EQ(b.size() % rec.bytes.size(), 0u);
        for (size_t at = 0; at < b.size(); at += rec.bytes.size())
            ASSERT_TRUE(std::equal(rec.bytes.begin(), rec.bytes.end(), b.begin() + long(at)));
    }
    stop = true;
    parser.join();
}

} // namespace vintrel

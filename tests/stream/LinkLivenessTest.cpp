#include "stream/LinkLiveness.h"

#include <gtest/gtest.h>

namespace vintrel {

TEST(LinkLiveness, WhatTheParserDoesAboutASilence) {
    // One silence after another on the same link; each row is judged after the ones above it.
    enum Step { Wait, EmptyRead, Bytes };
    struct Row {
        Step step;
        uint32_t waitedOrAdvanceMs;
        uint32_t pending;
        uint32_t entries; // times the transport entered CONNECTING
        Silence serial, tcp;
        bool frameAfter = false;
    } rows[] = {
        {Wait, kLostSyncMs + kStalledWaitMs + 1, 0, 0, Silence::None, Silence::None}, // slept through
        {Wait, kLostSyncMs, 5, 0, Silence::None, Silence::None},                      // transport late
        {Wait, kLostSyncMs, 0, 0, Silence::GiveUp, Silence::LostSync},
        {Wait, kLostSyncMs, 0, 0, Silence::None, Silence::None}, // given up / already shown
        {EmptyRead, 100, 0, 0, Silence::None, Silence::None},
        {Wait, kLostSyncMs, 0, 1, Silence::GiveUp, Silence::None, true}, // reconnected; a frame follows
        {EmptyRead, kLostSyncMs, 0, 1, Silence::None, Silence::None},    // 32 ms are not yet past
        {EmptyRead, 1, 0, 1, Silence::Reconnect, Silence::LostSync},
        {Bytes, 100, 0, 2, Silence::Resync, Silence::Resync},
        {Bytes, 10, 0, 2, Silence::None, Silence::None}, // counted again from the resync
    };
    for (const TTransport kind : {TR_FTDI, TR_UART, TR_TCPIP}) {
        ManualClock clock(0xFFFFFFF0u); // the count wraps during the rows
        FrameSilence silence(clock);
        silence.Restart();
        int n = 0;
        for (const Row& r : rows) {
            SCOPED_TRACE(testing::Message() << "kind " << kind << " row " << n++);
            Silence got;
            if (r.step == Wait) {
                clock.Advance(r.waitedOrAdvanceMs);
                got = silence.WaitRanOut(r.waitedOrAdvanceMs, r.pending, kind, r.entries);
            } else {
                clock.Advance(r.waitedOrAdvanceMs);
                got = silence.NoWholeFrame(r.step == EmptyRead, kind, r.entries);
            }
            EXPECT_EQ(int(got), int(kind == TR_TCPIP ? r.tcp : r.serial));
            if (r.frameAfter) silence.FrameTaken();
        }
    }
}

TEST(LinkLiveness, TcpIsRetriedEveryFiveSecondsUntilDone) {
    ManualClock clock(100);
    ReconnectSchedule retry(clock);
    EXPECT_FALSE(retry.Pending());
    retry.Tried();
    clock.Advance(kTcpRetryMs);
    EXPECT_FALSE(retry.Due());
    clock.Advance(1);
    EXPECT_TRUE(retry.Due());
    retry.Tried();
    EXPECT_FALSE(retry.Due());
    clock.Advance(kTcpRetryMs + 1);
    retry.Done();
    EXPECT_FALSE(retry.Due());
    EXPECT_FALSE(retry.Pending());
}

} // namespace vintrel

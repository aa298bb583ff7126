#include "FakePacerClock.h"
#include "PlaybackPacer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

using namespace std::chrono_literals;

namespace {

class Pacing : public testing::Test {
protected:
    void startPlaying() {
        ASSERT_TRUE(pacer.start());
        clock.sleeps.clear();
    }

    FakePacerClock clock;
    std::atomic<bool> stop{false};
    PlaybackPacer pacer{clock, stop};
};

} // namespace

TEST_F(Pacing, WaitsHalfASecondBeforeStartingTheClock) {
    EXPECT_EQ(PlaybackState::Starting, pacer.state());
    ASSERT_TRUE(pacer.start());
    EXPECT_EQ(std::vector<std::chrono::milliseconds>{500ms}, clock.sleeps);
    EXPECT_EQ(0.0, pacer.elapsed());
    EXPECT_EQ(PlaybackState::Playing, pacer.state());
}

TEST_F(Pacing, AFrameWithinHalfAPeriodOfItsTimeIsShownAtOnce) {
    startPlaying();
    EXPECT_EQ(PaceDecision::Show, pacer.pace()); // frame 0 at 0 ms
    clock.advance(42ms);                         // frame 1 due at 41.7 ms
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    clock.advance(20ms + 42ms); // frame 2 due at 83.3 ms, now 104 ms
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(3, pacer.framesSinceStart());
}

TEST_F(Pacing, AnEarlyFrameWaitsInQuarterSteps) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace());
    clock.advance(10ms); // frame 1 is due at 41.7 ms
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_EQ((std::vector<std::chrono::milliseconds>{25ms, 25ms}), clock.sleeps);
    EXPECT_DOUBLE_EQ(0.060, pacer.elapsed());
    EXPECT_EQ(0, pacer.lateInARow());
}

TEST_F(Pacing, BackToBackFramesEachShowBetweenTheirTimeAndHalfAPeriodLater) {
    startPlaying();
    for (int k = 0; k < 72; ++k) {
        ASSERT_EQ(PaceDecision::Show, pacer.pace()) << k;
        const double shownAt = pacer.elapsed();
        EXPECT_GE(shownAt, k / 24.0) << k;
        EXPECT_LE(shownAt, (k + 0.5) / 24.0) << k;
    }
    EXPECT_EQ(72, pacer.framesSinceStart());
}

TEST_F(Pacing, AFrameThirtyMillisecondsLateIsDropped) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace());
    clock.advance(42ms + 30ms); // 30 ms after frame 1's time
    EXPECT_EQ(PaceDecision::Drop, pacer.pace());
    EXPECT_EQ(1, pacer.lateInARow());
    EXPECT_EQ(2, pacer.framesSinceStart());
}

TEST_F(Pacing, TheSecondLateFrameInARowIsShownAndRestartsTheSchedule) {
    startPlaying();
    clock.advance(100ms);
    EXPECT_EQ(PaceDecision::Drop, pacer.pace());
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_EQ(0, pacer.lateInARow());
    EXPECT_EQ(0.0, pacer.elapsed());
    EXPECT_EQ(1, pacer.framesSinceStart());

    // The next frame is due one period after the restarting one.
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_EQ((std::vector<std::chrono::milliseconds>{25ms, 25ms}), clock.sleeps);
}

TEST_F(Pacing, AnOnTimeFrameAfterOneDropClearsTheLateCount) {
    startPlaying();
    clock.advance(30ms);
    ASSERT_EQ(PaceDecision::Drop, pacer.pace()); // frame 0, 30 ms late
    clock.advance(20ms);
    EXPECT_EQ(PaceDecision::Show, pacer.pace()); // frame 1 at 50 ms, on time
    EXPECT_EQ(0, pacer.lateInARow());
    clock.advance(60ms);
    EXPECT_EQ(PaceDecision::Drop, pacer.pace()); // frame 2 at 110 ms, late again but first in a row
    EXPECT_EQ(3, pacer.framesSinceStart());
}

TEST_F(Pacing, AStarvedBufferRestartsTheClockSoTheNextFrameShowsAtOnce) {
    startPlaying();
    for (int k = 0; k < 5; ++k) {
        pacer.pace();
    }
    clock.advance(3s);
    ASSERT_TRUE(pacer.starve());
    EXPECT_EQ(PlaybackState::Starved, pacer.state());
    EXPECT_EQ(100ms, clock.sleeps.back());
    EXPECT_EQ(0, pacer.framesSinceStart());
    clock.sleeps.clear();
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(PlaybackState::Playing, pacer.state());
}

TEST_F(Pacing, APauseKeepsTheClockSoTheFirstFrameAfterItIsDroppedAndTheSecondRestarts) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace());
    std::atomic<bool> paused{true};
    clock.onSleep = [&] {
        if (clock.sleeps.size() == 3) {
            paused = false;
        }
    };
    ASSERT_TRUE(pacer.waitWhilePaused([&] { return paused.load(); }));
    EXPECT_EQ((std::vector<std::chrono::milliseconds>{100ms, 100ms, 100ms}), clock.sleeps);
    EXPECT_DOUBLE_EQ(0.3, pacer.elapsed());
    EXPECT_EQ(1, pacer.framesSinceStart());

    EXPECT_EQ(PaceDecision::Drop, pacer.pace());
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_EQ(0.0, pacer.elapsed());
}

TEST_F(Pacing, NotPausedReturnsWithoutWaiting) {
    startPlaying();
    std::atomic<bool> paused{false};
    EXPECT_TRUE(pacer.waitWhilePaused([&] { return paused.load(); }));
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(Pacing, AStopEndsTheStartDelay) {
    clock.onSleep = [&] { stop = true; };
    EXPECT_FALSE(pacer.start());
    EXPECT_EQ(PlaybackState::Stopped, pacer.state());
}

TEST_F(Pacing, AStopEndsAPause) {
    startPlaying();
    std::atomic<bool> paused{true};
    clock.onSleep = [&] {
        if (clock.sleeps.size() == 2) {
            stop = true;
        }
    };
    EXPECT_FALSE(pacer.waitWhilePaused([&] { return paused.load(); }));
    EXPECT_EQ(2u, clock.sleeps.size());
    EXPECT_EQ(PlaybackState::Stopped, pacer.state());
}

TEST_F(Pacing, AStopEndsTheWaitForAnEarlyFrame) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace());
    clock.onSleep = [&] { stop = true; };
    EXPECT_EQ(PaceDecision::Stop, pacer.pace());
    EXPECT_EQ(1u, clock.sleeps.size());
}

TEST_F(Pacing, AStopEndsAStarvedWait) {
    startPlaying();
    stop = true;
    EXPECT_FALSE(pacer.starve());
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(PaceDecision::Stop, pacer.pace());
}

TEST(PacingRates, ASlowerRateStretchesTheSchedule) {
    FakePacerClock clock;
    std::atomic<bool> stop{false};
    PlaybackPacer pacer(clock, stop, 10, 1);
    ASSERT_TRUE(pacer.start());
    ASSERT_EQ(PaceDecision::Show, pacer.pace());
    clock.advance(140ms); // frame 1 due at 100 ms, on time up to 150 ms
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    clock.advance(120ms); // frame 2 due at 200 ms, now 260 ms
    EXPECT_EQ(PaceDecision::Drop, pacer.pace());
}

TEST(PacingRates, MoreLateFramesAllowedDropsMoreInARow) {
    FakePacerClock clock;
    std::atomic<bool> stop{false};
    PlaybackPacer pacer(clock, stop, 24, 2);
    ASSERT_TRUE(pacer.start());
    clock.advance(1s);
    EXPECT_EQ(PaceDecision::Drop, pacer.pace());
    EXPECT_EQ(PaceDecision::Drop, pacer.pace());
    EXPECT_EQ(PaceDecision::Show, pacer.pace());
    EXPECT_EQ(0.0, pacer.elapsed());
}

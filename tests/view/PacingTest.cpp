#include "FakePacerClock.h"
#include "PlaybackPacer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace {

class Pacing : public testing::Test {
protected:
    void startPlaying() {
        ASSERT_TRUE(pacer.start());
        clock.sleeps.clear();
    }
    double now() { return std::chrono::duration<double>(clock.now() - origin).count(); }

    FakePacerClock clock;
    const PacerClock::TimePoint origin = clock.now();
    std::atomic<bool> stop{false};
    PlaybackPacer pacer{clock, stop};
};

TEST_F(Pacing, EachFrameShowsAtItsTimeOnTheTimelineWhateverTheRate) {
    struct Stream {
        const char* name;
        double period;
        std::vector<double> times; // empty: evenly spaced at the period
    };
    const Stream streams[] = {
        {"10 fps", 0.1, {}},
        {"25 fps", 0.04, {}},
        {"30000/1001", 1001.0 / 30000, {}},
        {"50 fps", 0.02, {}},
        {"variable", 0.04, {0.0, 0.04, 0.1, 0.12, 0.3, 0.34, 1.34}},
    };
    for (const Stream& s : streams) {
        SCOPED_TRACE(s.name);
        startPlaying();
        std::vector<double> times = s.times;
        for (int k = 0; s.times.empty() && k < 60; ++k)
            times.push_back(k * s.period + 7.0); // the timeline need not start at 0
        const double start = now();
        for (double t : times) {
            ASSERT_EQ(PaceDecision::Show, pacer.pace(t, s.period)) << t;
            // Due at its time after the first, in whole milliseconds.
            EXPECT_GE(now() - start, t - times.front() - 1e-9) << t;
            EXPECT_LT(now() - start, t - times.front() + 0.001 + 1e-9) << t;
        }
        pacer.starve();
    }
}

TEST_F(Pacing, AFrameLaterThanHalfTheStreamsPeriodIsDroppedAndTheNextLateOneRestarts) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace(0.0, 0.02));
    clock.advance(31ms); // 50 fps: the frame at 20 ms is 11 ms late
    EXPECT_EQ(PaceDecision::Drop, pacer.pace(0.02, 0.02));
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.04, 0.02)); // early again: waits
    clock.advance(100ms);
    EXPECT_EQ(PaceDecision::Drop, pacer.pace(0.06, 0.02));
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.08, 0.02)); // second late one in a row
    EXPECT_EQ(0.0, pacer.elapsed());                        // the clock starts again from it
    // At 10 fps the same 30 ms is within half a period.
    clock.advance(130ms);
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.18, 0.1));
}

TEST_F(Pacing, AfterAStarvedBufferOrAPauseTheNextFrameShowsAtOnce) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace(0.0, 0.04));
    ASSERT_TRUE(pacer.starve());
    clock.advance(3s);
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.04, 0.04));
    EXPECT_EQ(0.0, pacer.elapsed());

    int looks = 0;
    ASSERT_TRUE(pacer.waitWhilePaused([&] { return ++looks < 4; }));
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.08, 0.04));
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.12, 0.04));
    EXPECT_DOUBLE_EQ(0.04, pacer.elapsed());
}

TEST_F(Pacing, AMasterClockSaysWhenAFrameIsDueAndIsNeverRestarted) {
    double heard = 10.0;
    pacer.setMasterClock([&]() -> std::optional<double> { return heard; });
    clock.onSleep = [&] { heard += 0.025; };
    startPlaying();
    EXPECT_EQ(PaceDecision::Show, pacer.pace(10.05, 0.04)); // waits until heard
    EXPECT_GE(heard, 10.05);
    heard = 10.2;
    EXPECT_EQ(PaceDecision::Drop, pacer.pace(10.09, 0.04)); // late against the sound
    EXPECT_EQ(PaceDecision::Show, pacer.pace(10.13, 0.04)); // shown, the sound goes on
    EXPECT_DOUBLE_EQ(10.2, heard);
}

TEST_F(Pacing, AStopEndsEveryWait) {
    clock.onSleep = [&] { stop = true; };
    EXPECT_FALSE(pacer.start());
    EXPECT_EQ(PlaybackState::Stopped, pacer.state());
    stop = false;
    clock.onSleep = {};
    startPlaying();
    clock.onSleep = [&] { stop = true; };
    ASSERT_EQ(PaceDecision::Show, pacer.pace(0.0, 0.04));
    EXPECT_EQ(PaceDecision::Stop, pacer.pace(1.0, 0.04)); // early: waiting
    stop = false;
    EXPECT_FALSE(pacer.starve());
    stop = false;
    EXPECT_FALSE(pacer.waitWhilePaused([] { return true; }));
}

} // namespace

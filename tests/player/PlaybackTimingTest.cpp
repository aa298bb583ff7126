#include "AudioOutput.h"
#include "AudioPlayback.h"
#include "PlaybackPacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Time moves only when its user sleeps or the test advances it; a sleep may
// trigger the test's hook.
class FakePacerClock : public PacerClock {
public:
    TimePoint now() override { return origin + offset; }
    void sleepFor(std::chrono::milliseconds duration) override {
        offset += duration;
        if (onSleep)
            onSleep();
    }
    void advance(std::chrono::milliseconds duration) { offset += duration; }

    std::function<void()> onSleep;

private:
    const TimePoint origin = std::chrono::steady_clock::now();
    std::chrono::milliseconds offset{0};
};

class Pacing : public testing::Test {
protected:
    void startPlaying() { ASSERT_TRUE(pacer.start()); }
    double now() { return std::chrono::duration<double>(clock.now() - origin).count(); }

    FakePacerClock clock;
    const PacerClock::TimePoint origin = clock.now();
    std::atomic<bool> stop{false};
    PlaybackPacer pacer{clock, [this] { return stop.load(); }};
};

TEST_F(Pacing, EachFrameShowsAtItsTimeOnTheTimelineWhateverTheRate) {
    // Frame times, or none for sixty evenly spaced at the period.
    const std::tuple<const char*, double, std::vector<double>> streams[] = {
        {"10 fps", 0.1, {}},
        {"25 fps", 0.04, {}},
        {"30000/1001", 1001.0 / 30000, {}},
        {"50 fps", 0.02, {}},
        {"variable", 0.04, {0.0, 0.04, 0.1, 0.12, 0.3, 0.34, 1.34}},
    };
    for (auto [name, period, given] : streams) {
        SCOPED_TRACE(name);
        startPlaying();
        std::vector<double> times = given;
        for (int k = 0; given.empty() && k < 60; ++k)
            times.push_back(k * period + 7.0); // the timeline need not start at 0
        const double start = now();
        for (double t : times) {
            ASSERT_EQ(PaceDecision::Show, pacer.pace(t, period)) << t;
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
    EXPECT_EQ(0.0, pacer.elapsed());                       // the clock starts again from it
    // At 10 fps the same 30 ms is within half a period.
    clock.advance(130ms);
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.18, 0.1));
    // Stated as 50 fps, pictures 40 ms apart: 15 ms late is within half their spacing.
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.22, 0.02));
    clock.advance(55ms);
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.26, 0.02));
}

TEST_F(Pacing, AfterAStarvedBufferOrAPauseTheNextFrameShowsAtOnce) {
    startPlaying();
    ASSERT_EQ(PaceDecision::Show, pacer.pace(0.0, 0.04));
    ASSERT_TRUE(pacer.starve());
    clock.advance(3s);
    EXPECT_EQ(PaceDecision::Show, pacer.pace(0.04, 0.04));
    EXPECT_EQ(0.0, pacer.elapsed());

    pacer.pause();
    EXPECT_EQ(pacer.state(), PlaybackState::Paused);
    clock.advance(2s);
    pacer.resume();
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
    // Behind the sound, pictures are dropped until they catch up with it,
    // one shown each quarter second of the timeline; the sound goes on.
    clock.onSleep = [&] { heard += 0.001; };
    heard = 10.2;
    EXPECT_EQ(PaceDecision::Drop, pacer.pace(10.09, 0.04));
    EXPECT_EQ(PaceDecision::Drop, pacer.pace(10.13, 0.04));
    EXPECT_EQ(PaceDecision::Show, pacer.pace(10.21, 0.04)); // caught up
    heard = 11.0;
    for (double t = 10.25; t < 10.45; t += 0.04)
        EXPECT_EQ(PaceDecision::Drop, pacer.pace(t, 0.04)) << t;
    EXPECT_EQ(PaceDecision::Show, pacer.pace(10.49, 0.04)); // still behind, but moving
    EXPECT_EQ(PaceDecision::Drop, pacer.pace(10.53, 0.04));
    EXPECT_DOUBLE_EQ(11.0, heard);
}

struct Write {
    double at; // seconds on the timeline
    int64_t frames;
    float level; // every sample of the write
    bool cut;
};

void writeAll(AudioPlayback& playback, const std::vector<Write>& writes) {
    for (const Write& w : writes)
        playback.write(std::vector<float>(w.frames * playback.channels, w.level), w.at, w.cut);
}

std::vector<float> take(AudioPlayback& playback, int64_t frames) {
    std::vector<float> out(frames * playback.channels);
    playback.pull(out.data(), frames);
    return out;
}

// A rate of 1000 frames a second makes every frame a millisecond. The fake
// device takes some frames, then reports the one it plays.
TEST(AudioClock, TellsTheTimelineTimeOfTheFrameBeingHeard) {
    struct Case {
        const char* what;
        int64_t taken;
        int64_t played; // -1: no report yet
        std::chrono::milliseconds sinceReport;
        std::optional<double> clock;
        bool pending = false;
        bool pause = false;
        bool flush = false;
        std::vector<Write> writes = {{0.0, 500, 0.1f, false}};
        // Then paused for five seconds and resumed for this long, and a later
        // report of this frame.
        std::chrono::milliseconds resumedFor{-1};
        int64_t laterReport = -1;
    };
    const std::vector<Write> once = {{0.0, 500, 0.1f, false}}, late = {{3.0, 500, 0.1f, false}};
    const std::vector<Write> cuts = {
        {0.0, 300, 0.1f, false}, {0.3, 300, 0.2f, true}, {1.0, 300, 0.3f, true}};
    const Case cases[] = {
        {"not heard yet", 200, -1, 0ms, {}, true},
        {"the reported frame", 200, 150, 0ms, 0.150},
        {"runs on between reports", 200, 150, 30ms, 0.180},
        {"a stalled device holds it", 400, 150, 400ms, 0.250},
        {"never ahead of what the device took", 170, 150, 50ms, 0.170},
        {"paused, it stands", 300, 200, 50ms, 0.200, false, true},
        {"a late first write follows silence", 3200, 3100, 0ms, 3.1, false, false, false, late},
        {"cuts and a gap keep the timeline", 1200, 1100, 0ms, 1.1, false, false, false, cuts},
        {"the queue ran dry", 300, 200, 0ms, {}, false, false, false, {{0.0, 100, 0.1f, false}}},
        {"flushed", 300, 200, 0ms, {}, false, false, true},
        // Resumed where it stood, and not sent back by a report behind it.
        {"resumed", 300, 200, 20ms, 0.230, false, false, false, once, 10ms, 210},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePacerClock clock;
        AudioPlayback playback(1000, 1, clock);
        writeAll(playback, c.writes);
        playback.deviceStarted(playback.demand().generation);
        take(playback, c.taken);
        if (c.played >= 0)
            playback.reportPlayed(c.played);
        playback.setPaused(c.pause);
        if (c.flush)
            playback.flush();
        clock.advance(c.sinceReport);
        if (c.resumedFor >= 0ms) {
            playback.setPaused(true);
            clock.advance(5s);
            playback.setPaused(false);
            clock.advance(c.resumedFor);
        }
        if (c.laterReport >= 0) {
            // Seen by a reader; the report must not send it back.
            EXPECT_NEAR(*c.clock, playback.presentationTime().value_or(0), 1e-9);
            playback.reportPlayed(c.laterReport);
        }
        const std::optional<double> heard = playback.presentationTime();
        ASSERT_EQ(c.clock.has_value(), heard.has_value());
        EXPECT_NEAR(c.clock.value_or(0), heard.value_or(0), 1e-9);
        EXPECT_EQ(c.pending, playback.clockPending());
    }
}

// A device starts on enough sound to go on with, is fed what is queued, and
// is kept from running dry with silence (at 1000 frames a second again).
TEST(AudioFeed, StartsOnEnoughSoundAndFillsWithSilenceOnlyWhenRunningDry) {
    // What: frames written, time since, frames taken and played; the device's
    // room; whether it may start and how many frames it is fed.
    const std::tuple<const char*, int64_t, std::chrono::milliseconds, int64_t, int64_t, int64_t,
                     bool, int64_t>
        cases[] = {
            {"little written, writes going on", 100, 0ms, 0, 0, 500, false, 100},
            {"enough written", 200, 0ms, 0, 0, 500, true, 200},
            {"little written, writes stopped", 100, 100ms, 0, 0, 500, true, 100},
            {"less room than sound", 300, 0ms, 0, 0, 250, true, 250},
            {"running dry", 100, 0ms, 100, 80, 500, false, 30},
            {"nothing queued, enough held", 300, 0ms, 300, 100, 500, false, 0},
        };
    for (auto [what, written, since, taken, played, room, startable, fed] : cases) {
        SCOPED_TRACE(what);
        FakePacerClock clock;
        AudioPlayback playback(1000, 1, clock);
        writeAll(playback, {{0.0, written, 0.1f, false}});
        clock.advance(since);
        playback.deviceStarted(playback.demand().generation);
        take(playback, taken);
        playback.reportPlayed(played);
        EXPECT_EQ(startable, playback.demand().startable);
        EXPECT_EQ(fed, playback.framesToFeed(room));
    }
}

// At 48 kHz, a loud write and after it its opposite: a join without a ramp is
// a step of the whole difference.
TEST(AudioFade, JoinsThatAreNotContinuousRampInsteadOfStepping) {
    // What: the second write's time, length and whether it is a cut; frames
    // the device took before it; where the join is heard; whether it ramps;
    // the sound twenty milliseconds before and after the join.
    const std::tuple<const char*, double, int64_t, bool, int64_t, double, bool, float, float>
        cases[] = {
            {"a cut", 0.1, 4800, true, 0, 0.1, true, 0.5f, -0.5f},
            {"continuous sound", 0.1, 4800, false, 0, 0.1, false, 0.5f, -0.5f},
            {"into a gap", 0.2, 4800, false, 0, 0.1, true, 0.5f, 0.0f},
            {"out of a gap", 0.2, 4800, false, 0, 0.2, true, 0.0f, -0.5f},
            {"a cut after the device took most before it", 0.1, 4800, true, 4560, 0.1, true, 0.5f,
             -0.5f},
            {"an overlap", 0.05, 7200, false, 0, 0.1, true, 0.5f, -0.5f},
            {"the start", 0.1, 4800, false, 0, 0.0, true, 0.0f, 0.5f},
        };
    for (auto [what, at, frames, cut, taken, joinAt, smooth, before, after] : cases) {
        SCOPED_TRACE(what);
        FakePacerClock clock;
        AudioPlayback playback(48000, 2, clock);
        playback.deviceStarted(playback.demand().generation);
        writeAll(playback, {{0.0, 4800, 0.5f, false}});
        std::vector<float> out = take(playback, taken);
        writeAll(playback, {{at, frames, -0.5f, cut}});
        const std::vector<float> rest = take(playback, 19200 - taken);
        out.insert(out.end(), rest.begin(), rest.end());

        const auto join = static_cast<int64_t>(joinAt * 48000);
        float largestStep = std::abs(out[0]);
        for (int64_t i = std::max<int64_t>(join - 960, 1); i < join + 960; ++i) {
            largestStep = std::max(largestStep, std::abs(out[2 * i] - out[2 * (i - 1)]));
            EXPECT_EQ(out[2 * i], out[2 * i + 1]) << i;
        }
        if (smooth)
            EXPECT_LT(largestStep, 0.01f);
        else
            EXPECT_FLOAT_EQ(1.0f, largestStep);
        // Twenty milliseconds away from the join, the sound is untouched.
        if (join >= 960) {
            EXPECT_EQ(before, out[2 * (join - 960)]);
        }
        EXPECT_EQ(after, out[2 * (join + 960)]);
    }
}

// Sound switched off, and no sound server to be found (the address below
// leads nowhere, whatever runs on the machine): pictures must go on alone.
TEST(AudioOutputWithoutDevice, StaysSilentAnswersAtOnceAndSaysWhyOnce) {
    setenv("PULSE_SERVER", "unix:/nonexistent/tessaro-no-sound-server", 1);
    for (bool useDevice : {false, true}) {
        SCOPED_TRACE(useDevice ? "no server" : "switched off");
        AudioOutput audio(useDevice);
        EXPECT_FALSE(audio.available());
        EXPECT_FALSE(audio.takeNotice().empty());
        EXPECT_TRUE(audio.takeNotice().empty());

        audio.retry(); // nothing to try again
        EXPECT_FALSE(audio.available());
        audio.write(std::vector<float>(2 * 48000, 0.1f), 0.0, false);
        audio.setPaused(true);
        audio.setVolume(0.4);
        audio.setMuted(true);
        audio.flush();
        EXPECT_FALSE(audio.presentationTime());
        EXPECT_FALSE(audio.clockPending());
        // The overlay still shows what the keys set.
        EXPECT_TRUE(audio.paused());
        EXPECT_DOUBLE_EQ(0.4, audio.volume());
        EXPECT_TRUE(audio.muted());
    }
}

} // namespace

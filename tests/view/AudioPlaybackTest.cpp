#include "AudioPlayback.h"
#include "FakePacerClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace {

struct Write {
    double at; // seconds on the timeline
    int64_t frames;
    float level; // every sample of the write
    bool cut;
};

void writeAll(AudioPlayback& playback, const std::vector<Write>& writes) {
    for (const Write& w : writes) {
        playback.write(std::vector<float>(w.frames * playback.channels, w.level), w.at, w.cut);
    }
}

std::vector<float> take(AudioPlayback& playback, int64_t frames) {
    std::vector<float> out(frames * playback.channels);
    playback.pull(out.data(), frames);
    return out;
}

} // namespace

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
    };
    const Case cases[] = {
        {"not heard yet", 200, -1, 0ms, {}, true},
        {"the reported frame", 200, 150, 0ms, 0.150},
        {"runs on between reports", 200, 150, 30ms, 0.180},
        {"a stalled device holds it", 400, 150, 400ms, 0.250},
        {"never ahead of what the device took", 170, 150, 50ms, 0.170},
        {"paused, it stands", 300, 200, 50ms, 0.200, false, true},
        {"a late first write starts after silence", 3200, 3100, 0ms, 3.100, false, false, false,
         {{3.0, 500, 0.1f, false}}},
        {"cuts and a gap keep the timeline", 1200, 1100, 0ms, 1.100, false, false, false,
         {{0.0, 300, 0.1f, false}, {0.3, 300, 0.2f, true}, {1.0, 300, 0.3f, true}}},
        {"the queue ran dry", 300, 200, 0ms, {}, false, false, false, {{0.0, 100, 0.1f, false}}},
        {"flushed", 300, 200, 0ms, {}, false, false, true},
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
        const std::optional<double> heard = playback.presentationTime();
        ASSERT_EQ(c.clock.has_value(), heard.has_value());
        EXPECT_NEAR(c.clock.value_or(0), heard.value_or(0), 1e-9);
        EXPECT_EQ(c.pending, playback.clockPending());
    }
}

TEST(AudioClock, ResumesWhereItStoodAndNeverGoesBack) {
    FakePacerClock clock;
    AudioPlayback playback(1000, 1, clock);
    writeAll(playback, {{0.0, 1000, 0.1f, false}});
    playback.deviceStarted(playback.demand().generation);
    take(playback, 300);
    playback.reportPlayed(200);
    clock.advance(20ms);
    playback.setPaused(true);
    clock.advance(5s);
    EXPECT_NEAR(0.220, *playback.presentationTime(), 1e-9);

    playback.setPaused(false);
    clock.advance(10ms);
    EXPECT_NEAR(0.230, *playback.presentationTime(), 1e-9);
    // The device's next report lags behind the clock: the clock waits for it.
    playback.reportPlayed(210);
    EXPECT_NEAR(0.230, *playback.presentationTime(), 1e-9);
}

// A device starts on enough sound to go on with, is fed what is queued, and
// is kept from running dry with silence (at 1000 frames a second again).
TEST(AudioFeed, StartsOnEnoughSoundAndFillsWithSilenceOnlyWhenRunningDry) {
    struct Case {
        const char* what;
        int64_t written;
        std::chrono::milliseconds sinceWrite;
        int64_t taken;
        int64_t played;
        int64_t room;
        bool startable;
        int64_t fed;
    };
    const std::vector<Case> cases = {
        {"little written, writes going on", 100, 0ms, 0, 0, 500, false, 100},
        {"enough written", 200, 0ms, 0, 0, 500, true, 200},
        {"little written, writes stopped", 100, 100ms, 0, 0, 500, true, 100},
        {"less room than sound", 300, 0ms, 0, 0, 250, true, 250},
        {"running dry", 100, 0ms, 100, 80, 500, false, 30},
        {"nothing queued, enough held", 300, 0ms, 300, 100, 500, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePacerClock clock;
        AudioPlayback playback(1000, 1, clock);
        writeAll(playback, {{0.0, c.written, 0.1f, false}});
        clock.advance(c.sinceWrite);
        playback.deviceStarted(playback.demand().generation);
        take(playback, c.taken);
        playback.reportPlayed(c.played);
        EXPECT_EQ(c.startable, playback.demand().startable);
        EXPECT_EQ(c.fed, playback.framesToFeed(c.room));
    }
}

// At 48 kHz, a loud write and its opposite: a join without a ramp is a step
// of the whole difference.
TEST(AudioFade, JoinsThatAreNotContinuousRampInsteadOfStepping) {
    struct Case {
        const char* what;
        double secondAt;         // the second write's time; the first is at 0
        int64_t secondFrames;    // how long it is
        bool cut;                // whether it is marked as a cut
        int64_t takenBeforeLast; // frames the device took before the second write
        double joinAt;           // seconds into the output
        bool smooth;
        float before; // twenty milliseconds before the join
        float after;  // and after it
    };
    const Case cases[] = {
        {"a cut", 0.1, 4800, true, 0, 0.1, true, 0.5f, -0.5f},
        {"continuous sound", 0.1, 4800, false, 0, 0.1, false, 0.5f, -0.5f},
        {"into a gap", 0.2, 4800, false, 0, 0.1, true, 0.5f, 0.0f},
        {"out of a gap", 0.2, 4800, false, 0, 0.2, true, 0.0f, -0.5f},
        {"a cut after the device took most of the sound before it", 0.1, 4800, true, 4560, 0.1,
         true, 0.5f, -0.5f},
        {"an overlap", 0.05, 7200, false, 0, 0.1, true, 0.5f, -0.5f},
        {"the start", 0.1, 4800, false, 0, 0.0, true, 0.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePacerClock clock;
        AudioPlayback playback(48000, 2, clock);
        playback.deviceStarted(playback.demand().generation);
        writeAll(playback, {{0.0, 4800, 0.5f, false}});
        std::vector<float> out = take(playback, c.takenBeforeLast);
        writeAll(playback, {{c.secondAt, c.secondFrames, -0.5f, c.cut}});
        const std::vector<float> rest = take(playback, 19200 - c.takenBeforeLast);
        out.insert(out.end(), rest.begin(), rest.end());

        const auto join = static_cast<int64_t>(c.joinAt * 48000);
        float largestStep = std::abs(out[0]);
        for (int64_t i = std::max<int64_t>(join - 960, 1); i < join + 960; ++i) {
            largestStep = std::max(largestStep, std::abs(out[2 * i] - out[2 * (i - 1)]));
            EXPECT_EQ(out[2 * i], out[2 * i + 1]) << i;
        }
        if (c.smooth)
            EXPECT_LT(largestStep, 0.01f);
        else
            EXPECT_FLOAT_EQ(1.0f, largestStep);
        // Twenty milliseconds away from the join, the sound is untouched.
        EXPECT_EQ(c.before, out[2 * std::max<int64_t>(join - 960, 0)]);
        EXPECT_EQ(c.after, out[2 * (join + 960)]);
    }
}

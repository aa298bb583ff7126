// The sound check's ruler, on made-up runs whose sound is known to the
// sample: what it says of kept time, kept beeps, offsets, pitch and rate.

#include "SoundFigures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr int kRate = 48000;
constexpr double kShowStart = 100.0; // when Summary's timeline starts, on the steady clock
constexpr double kLag = 0.02;        // the sound reaches the sink this long after its picture

// How the player played two kept fragments, the video's seconds 2 and 5,
// one after the other on the timeline.
struct Played {
    const char* name;
    double cutShort;   // each fragment's sound ends this early, in silence
    double beepLate;   // its beep starts this late...
    double beepLength; // ...and lasts this long
    double pitch;
    bool secondSilent;      // nothing heard of the second fragment
    int droppedAtStart = 0; // pictures of each fragment dropped as late
    double fadeIn = 0.0;    // each fragment's sound rises from silence over this long
};

SoundRun summaryRun(int droppedAtStart) {
    SoundRun run;
    run.closedAt = kShowStart + 5;
    run.playMeasuredUntil = kShowStart;
    for (int fragment = 0; fragment < 2; ++fragment)
        for (int i = droppedAtStart; i < 25; ++i) {
            const double playTime = fragment + i * 0.04;
            run.shown.push_back(
                {kShowStart + playTime, fragment * 3 + 2 + i * 0.04, playTime, true, 0});
        }
    return run;
}

SoundTrack recording(const Played& p) {
    std::mt19937 noise(7);
    std::uniform_int_distribution<int> faint(-300, 300);
    const double from = kShowStart - 1;
    std::vector<int16_t> samples(static_cast<size_t>(5 * kRate));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double timeline = from + static_cast<double>(i) / kRate - kShowStart - kLag;
        const int fragment = static_cast<int>(std::floor(timeline));
        const double local = timeline - fragment;
        double value = faint(noise);
        if (fragment == 0 || fragment == 1) {
            if (local > 1 - p.cutShort || (fragment == 1 && p.secondSilent))
                value = 0;
            else if (local >= p.beepLate && local < p.beepLate + p.beepLength)
                value += 4000 * std::sin(2 * M_PI * p.pitch * (local - p.beepLate));
            if (local < p.fadeIn)
                value *= local / p.fadeIn;
        }
        samples[i] = static_cast<int16_t>(std::lround(value));
    }
    // Blocks of 5 ms, each arriving a little late, some later than others.
    std::vector<Arrival> arrivals;
    for (size_t end = 240; end <= samples.size(); end += 240)
        arrivals.push_back({end, from + static_cast<double>(end) / kRate + (end % 7) * 1e-3});
    return SoundTrack(std::move(samples), kRate, arrivals);
}

TEST(SoundFigures, TellWhatOfTheKeptFragmentsWasHeard) {
    struct Row {
        Played played;
        double heardShare;
        int keptHeard;
        double shortestMs;
        double summaryOffsetMs;
    };
    const Row rows[] = {
        {{"whole", 0.0, 0.0, 0.05, 1000, false}, 1.0, 2, 50, 20},
        {{"ends 90 ms early", 0.09, 0.0, 0.05, 1000, false}, 0.91, 2, 50, 20},
        {{"beep cut to 8 ms, 30 ms late", 0.0, 0.03, 0.008, 1000, false}, 1.0, 2, 8, 50},
        // Its flash's nearest beep is the first fragment's, a second earlier.
        {{"second fragment silent", 0.0, 0.0, 0.05, 1000, true}, 0.5, 1, 0, 980},
        {{"pitch 920 Hz", 0.0, 0.0, 0.05, 920, false}, 1.0, 2, 50, 20},
        // The flashes not shown: the kept time and beeps are the fragments' still.
        {{"first pictures dropped", 0.0, 0.0, 0.05, 1000, false, 3}, 1.0, 2, 50, kNoValue},
        // A cut's fade costs a beep at its start a little of its length, not a
        // millisecond of the kept time.
        {{"faded in over 10 ms", 0.0, 0.0, 0.05, 1000, false, 0, 0.01}, 1.0, 2, 48, 22},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.played.name);
        const SoundFigures f =
            soundFigures(summaryRun(row.played.droppedAtStart), recording(row.played));
        EXPECT_EQ(f.keptBeeps, 2);
        EXPECT_EQ(f.keptHeard, row.keptHeard);
        EXPECT_NEAR(f.keptSeconds, 2.0, 1e-6);
        EXPECT_NEAR(f.heardShare, row.heardShare, 0.003);
        EXPECT_NEAR(f.shortestKeptMs, row.shortestMs, 0.5);
        if (!std::isnan(row.summaryOffsetMs)) {
            EXPECT_NEAR(f.summary.medianMs, row.summaryOffsetMs, 1.0);
        }
        EXPECT_EQ(f.play.flashes, 0);
        // The pitch of the beeps whose flashes were shown, long enough to tell it.
        if (row.played.beepLength > 0.02 && row.played.droppedAtStart == 0) {
            EXPECT_NEAR(f.lowestPitch, row.played.pitch, 1.0);
            EXPECT_NEAR(f.highestPitch, row.played.pitch, 1.0);
        }
    }
}

TEST(SoundFigures, TellPlaysRateAgainstTheVideosOwn) {
    // A video of 25 frames a second shown at 37.5 a second, and one shown
    // at its rate with every fourth frame dropped.
    struct Row {
        double shownEvery;
        int dropEvery;
        double shownRate;
        double droppedShare;
    };
    for (const Row& row : {Row{1 / 37.5, 0, 37.5, 0.0}, Row{0.04, 4, 18.75, 0.25}}) {
        SoundRun run;
        run.playMeasuredUntil = 50;
        int64_t dropped = 0;
        double wall = 10;
        for (int i = 0; i < 100; ++i) {
            if (row.dropEvery > 0 && i % row.dropEvery == 3) {
                ++dropped;
            } else {
                run.shown.push_back({wall, i * 0.04, i * 0.04, false, dropped});
            }
            wall += row.shownEvery;
        }
        const SoundFigures f = soundFigures(run, SoundTrack({}, kRate, {}));
        EXPECT_NEAR(f.shownRate, row.shownRate, 0.4);
        EXPECT_NEAR(f.realRate, 25.0, 0.3);
        EXPECT_NEAR(f.droppedShare, row.droppedShare, 0.01);
    }
}

} // namespace

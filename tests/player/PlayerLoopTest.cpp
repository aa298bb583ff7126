#include "PlayerLoop.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "HeadlessSummary.h"
#include "SoundSink.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

namespace {

constexpr int kScenesFrames = 250; // 10 s at 25 fps

// Counts what the loop asks of the widgets, and keeps the slider's and the
// tree strips' last positions.
struct RecordingDriver : WidgetDriver {
    int calls = 0, slider = -1;
    double depth = 0, nodes = 0;
    void setPositionSlider(int seconds) override { ++calls, slider = seconds; }
    void setTimelineData(const double*, int, double, double, double, double, double) override {
        ++calls;
    }
    void setTreeDepthStrip(double, double, double position, double, double) override {
        ++calls, depth = position;
    }
    void setTreeNodesStrip(double, double, double position, double, double) override {
        ++calls, nodes = position;
    }
};

// Keeps what the loop writes since its last flush: each piece of sound's
// time on the timeline, its length, whether it is marked as a cut, and
// whether it is heard at all.
struct RecordingSink : SoundSink {
    static constexpr int rate = 48000;
    struct Piece {
        double time;
        size_t frames;
        bool cut, loud;
    };
    std::vector<Piece> pieces;

    bool available() const override { return true; }
    int sampleRate() const override { return rate; }
    int channels() const override { return 2; }
    std::string takeNotice() override { return {}; }
    void write(std::vector<float> samples, double time, bool cut) override {
        const bool loud = std::any_of(samples.begin(), samples.end(),
                                      [](float x) { return std::abs(x) > 0.01f; });
        pieces.push_back({time, samples.size() / 2, cut, loud});
    }
    void flush() override { pieces.clear(); }
    void setPaused(bool) override {}
};

class PlayerLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        shared.positionCtl = &position;
        shared.positionSliderMaximum = 10;
        shared.driver = &driver;
        board.publish(chosen);
    }

    void open(PlayerMode mode) {
        shared.mode = mode;
        board.publish(chosen);
        playback = makePlaybackQueue();
        loop = std::make_unique<PlayerLoop>(testMedia(video), *playback, shared, board, &sink);
        loop->start();
    }
    void fill() {
        while (loop->pass() == PlayerLoop::Next::Continue) {
        }
    }
    // Takes at most `most` frames out, as the player does; returns their times.
    std::vector<double> take(int most = 1 << 30) {
        std::vector<double> times;
        for (; most > 0; --most) {
            const auto entry = playback->tryGet();
            if (!entry)
                break;
            times.push_back(entry->item.frameTime);
            taken.push_back(entry->item);
        }
        return times;
    }
    // Runs passes, taking at most `most` frames out after each, until the
    // loop has nothing left to do.
    std::vector<double> runToEnd(int most = 1 << 30) {
        std::vector<double> times;
        for (int i = 0; i < 100000; ++i) {
            const PlayerLoop::Next next = loop->pass();
            const std::vector<double> taken = take(most);
            times.insert(times.end(), taken.begin(), taken.end());
            const bool ended = shared.playing() ? loop->endOfStream : loop->summarizer.finished();
            if (next == PlayerLoop::Next::Wait && ended && playback->empty())
                break;
        }
        return times;
    }

    // The window's controls at their starting settings, without widgets.
    PlayerSettings chosen;
    SettingsBoard board;
    SliderState position;
    SharedControls shared;
    RecordingDriver driver;
    RecordingSink sink;
    std::vector<PictureFrame> taken; // with their places on the timeline
    std::unique_ptr<PlaybackQueue> playback = makePlaybackQueue();
    std::unique_ptr<PlayerLoop> loop;
    const char* video = kScenes;
};

TEST_F(PlayerLoopTest, PlayFillsTheBufferUpToItsFrameOrByteBoundWithRunningNumbers) {
    const int64_t picture = 320 * 240 * 3 / 2;
    const std::tuple<int32_t, int64_t, int> bounds[] = {{100, int64_t{1} << 40, 100},
                                                        {200, 40 * picture, 40}};
    for (auto [frames, bytes, expected] : bounds) {
        take();
        open(PlayerMode::Play);
        loop->bufferTarget = frames;
        loop->bufferBudget = bytes;
        fill();
        EXPECT_EQ(static_cast<int>(playback->size()), expected);
        int number = 1;
        while (const auto entry = playback->tryGet())
            EXPECT_EQ(entry->item.frameNumber, number++);
    }
}

TEST_F(PlayerLoopTest, PlayHandsOnEveryFrameInOrderAndWaitsQuietlyWhenFullOrAtTheEnd) {
    open(PlayerMode::Play);
    loop->bufferTarget = 30;
    std::vector<double> times;
    for (bool atTheEnd : {false, true}) {
        SCOPED_TRACE(atTheEnd);
        fill();
        const int calls = driver.calls;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(loop->pass(), PlayerLoop::Next::Wait);
        EXPECT_EQ(driver.calls, calls);
        if (!atTheEnd) {
            times = take();
            const std::vector<double> rest = runToEnd();
            times.insert(times.end(), rest.begin(), rest.end());
        }
    }
    EXPECT_TRUE(loop->endOfStream);
    ASSERT_EQ(static_cast<int>(times.size()), kScenesFrames);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
}

TEST_F(PlayerLoopTest, APositionReleaseAndAModeChangeRestartAtTheirSecond) {
    open(PlayerMode::Play);
    loop->pass();
    for (double start : {2.0, 5.0, 8.0})
        loop->segmentTimes.push_back(start);
    position.value = 4;
    position.changed = true;
    loop->pass();
    EXPECT_FALSE(position.changed);
    EXPECT_EQ(shared.positionValue, 4);
    EXPECT_EQ(driver.slider, 4);
    EXPECT_EQ(loop->segmentTimes.size(), 2u) << "the segments after it are dropped";
    ASSERT_FALSE(playback->empty());
    const std::vector<double> first = take(1);
    EXPECT_GE(first[0], 4.0);
    EXPECT_LT(first[0], 4.5);

    // Summary starts at the second shown, with an empty tree.
    shared.positionValue = 3;
    shared.mode = PlayerMode::Summary;
    loop->pass();
    EXPECT_EQ(shared.positionValue, 3);
    EXPECT_TRUE(playback->empty());
    ASSERT_EQ(loop->summarizer.summaryTree().levelsAdded, 1);
    EXPECT_EQ(loop->summarizer.summaryTree().levelsAdvanced, 0);
    EXPECT_EQ(loop->summarizer.frontTime(), 3);
}

TEST_F(PlayerLoopTest, ANewRankingRebuildsOnceWhereThePictureIsAndOtherSettingsDoNot) {
    open(PlayerMode::Play);
    loop->pass();
    shared.positionValue = 2;
    const int64_t restarts = loop->restarts;
    // The tree limits and the options apply without a restart.
    PlayerSettings limits = chosen;
    limits.summary.depth = 30;
    limits.automaticControl = true;
    board.publish(limits);
    loop->pass();
    EXPECT_EQ(loop->restarts, restarts);
    // Weights settled on the window's side: one snapshot, one rebuild.
    PlayerSettings weights = limits;
    weights.summary.target = 0.2;
    weights.summary.lengthWeight = 0.5;
    board.publishRanking(weights);
    loop->pass();
    loop->pass();
    EXPECT_EQ(loop->restarts, restarts + 1);
    EXPECT_EQ(loop->summarizer.settings().target, 0.2);
    ASSERT_FALSE(playback->empty());
    const std::vector<double> first = take(1);
    EXPECT_GE(first[0], 2.0);
    EXPECT_LT(first[0], 2.5);
}

TEST_F(PlayerLoopTest, AutomaticControlScalesTheLimitsWithTheBufferFill) {
    open(PlayerMode::Pause);
    const std::tuple<int, bool, int, int> cases[] = {
        {150, true, 30, 300}, {0, true, 20, 100}, {0, false, 60, 500}};
    for (auto [buffered, automatic, depth, nodes] : cases) {
        playback->flush();
        for (int i = 0; i < buffered; ++i) {
            PictureFrame frame;
            playback->tryPut(frame);
        }
        chosen.automaticControl = automatic;
        board.publish(chosen);
        loop->pass();
        // The tree strips show the limits in force.
        EXPECT_EQ(driver.depth, depth) << buffered << automatic;
        EXPECT_EQ(driver.nodes, nodes) << buffered << automatic;
    }
}

TEST_F(PlayerLoopTest, AvoidEmptyBufferPlaysADecidedFragmentTheTreeLeftOut) {
    // With only the length weight and a target of 0, the empty summary wins every level.
    SummarySettings& s = chosen.summary;
    s.target = s.continuityWeight = s.redundancyWeight = s.activityWeight = 0.0;
    s.depth = 20;
    for (bool avoidEmpty : {false, true}) {
        SCOPED_TRACE(avoidEmpty);
        chosen.avoidEmptyBuffer = avoidEmpty;
        open(PlayerMode::Summary);
        const std::vector<double> kept = runToEnd();
        EXPECT_EQ(kept.empty(), !avoidEmpty);
        EXPECT_EQ(loop->segmentTimes.size() > 1, avoidEmpty);
        EXPECT_EQ(loop->framesHandedOn, kScenesFrames);
    }
}

// The fragments kept are those of a headless run, whatever the pace of
// playback: a shallow tree decides most levels on the way, one deeper than
// the video all of them at its end; a small buffer drained slowly holds
// decisions back. With shot-aware ranking the fragments cut inside are
// played trimmed, the same frames as the headless run's.
TEST_F(PlayerLoopTest, SummaryKeepsTheHeadlessRunsFragmentsWhateverThePaceOfPlayback) {
    struct Case {
        const char* video;
        int frames, depth;
        double share;
        int32_t buffer;
        int drain;
        bool shotAware;
    };
    const Case cases[] = {{kScenes, kScenesFrames, 2, 0.3, 30, 3, false},
                          {kScenes, kScenesFrames, 90, 0.05, 300, 300, false},
                          {kCuts, 150, 2, 1.0, 30, 3, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        SummarySettings& settings = chosen.summary;
        settings.depth = c.depth;
        settings.target = c.share;
        settings.shotAware = c.shotAware;
        video = c.video;
        HeadlessSummary headless(testMedia(video), settings);
        ASSERT_TRUE(headless.run({}));
        std::vector<double> expected;
        for (const KeptFragment& f : headless.keptFragments())
            for (int k = 0; k < f.frames; ++k)
                expected.push_back(f.start + k / 25.0);

        open(PlayerMode::Summary);
        loop->bufferTarget = c.buffer;
        const std::vector<double> played = runToEnd(c.drain);
        EXPECT_TRUE(loop->summarizer.finished());
        // Every decided fragment counts, kept or not, the last one included;
        // each kept one marks its start on the timeline.
        EXPECT_EQ(loop->framesHandedOn, c.frames);
        EXPECT_EQ(loop->segmentTimes.size(), 1 + headless.keptFragments().size());
        ASSERT_FALSE(played.empty());
        ASSERT_EQ(played.size(), expected.size());
        for (size_t i = 0; i < played.size(); ++i)
            EXPECT_NEAR(played[i], expected[i], 1e-9) << i;
        if (c.shotAware) {
            EXPECT_TRUE(std::any_of(headless.keptFragments().begin(),
                                    headless.keptFragments().end(),
                                    [](const KeptFragment& f) { return f.frames < 25; }));
        }
    }
}

// Each picture's sound is given with its time on the timeline, to within
// a sample, whole (from the picture to the next), in Play, after a jump,
// and in Summary; a cut is marked only where a kept fragment does not
// follow the one before it.
TEST_F(PlayerLoopTest, EachPicturesSoundComesAtItsPlayTimeWithCutsOnlyWhereThePicturesJump) {
    chosen.summary.depth = 2;
    chosen.summary.target = 0.3;
    const std::tuple<const char*, PlayerMode, int> cases[] = {
        {"Play", PlayerMode::Play, -1},
        {"Play after a jump", PlayerMode::Play, 4},
        {"Summary", PlayerMode::Summary, -1}};
    for (auto [name, mode, jumpTo] : cases) {
        SCOPED_TRACE(name);
        open(mode);
        loop->bufferTarget = 40;
        if (jumpTo >= 0) {
            take();
            position.value = jumpTo;
            position.changed = true;
        }
        taken.clear();
        runToEnd(7);
        ASSERT_FALSE(taken.empty());
        ASSERT_EQ(sink.pieces.size(), taken.size());
        int cuts = 0, joins = 0;
        for (size_t i = 0; i < taken.size(); ++i) {
            SCOPED_TRACE(taken[i].frameTime);
            const RecordingSink::Piece& piece = sink.pieces[i];
            EXPECT_NEAR(piece.time, taken[i].playTime, 1.0 / RecordingSink::rate);
            EXPECT_EQ(piece.frames, RecordingSink::rate / 25);
            EXPECT_TRUE(piece.loud);
            const bool follows =
                i == 0 || std::abs(taken[i].frameTime - taken[i - 1].frameTime - 0.04) < 1e-6;
            EXPECT_EQ(piece.cut, !follows);
            cuts += !follows;
            joins += follows && i % 25 == 0 && i > 0;
        }
        if (mode == PlayerMode::Summary) {
            EXPECT_GT(cuts, 0);
            EXPECT_GT(joins, 0) << "kept fragments that follow each other";
        }
    }
}

} // namespace

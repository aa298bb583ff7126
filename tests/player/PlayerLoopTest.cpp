#include "PlayerLoop.h"

#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "HeadlessSummary.h"
#include "TestMedia.h"

#include <QMutexLocker>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kScenesFrames = 250; // 10 s at 25 fps

// Records what the loop asks of the widgets.
struct RecordingDriver : WidgetDriver {
    int calls = 0;
    int lastSlider = -1;
    double treeDepthPosition = 0, treeDepthMark = 0;
    double treeNodesPosition = 0, treeNodesMark = 0;
    void setPositionSlider(int seconds) override {
        ++calls;
        lastSlider = seconds;
    }
    void setTimelineData(const double*, int, double, double, double, double, double) override {
        ++calls;
    }
    void setTreeDepthStrip(double, double, double position, double mark1, double) override {
        ++calls;
        treeDepthPosition = position;
        treeDepthMark = mark1;
    }
    void setTreeNodesStrip(double, double, double position, double mark1, double) override {
        ++calls;
        treeNodesPosition = position;
        treeNodesMark = mark1;
    }
};

// The window's controls at their starting settings, without widgets.
struct Controls {
    Controls() {
        const SummarySettings start;
        target.value = start.target;
        length.value = start.lengthWeight;
        continuity.value = start.continuityWeight;
        redundancy.value = start.redundancyWeight;
        activity.value = start.activityWeight;
        shared.positionCtl = &position;
        shared.targetLengthCtl = &target;
        shared.lengthWeightCtl = &length;
        shared.continuityWeightCtl = &continuity;
        shared.redundancyWeightCtl = &redundancy;
        shared.activityWeightCtl = &activity;
        shared.positionSliderMaximum = 10;
    }
    void onlyLengthAtTargetZero() {
        target.value = 0.0;
        continuity.value = 0.0;
        redundancy.value = 0.0;
        activity.value = 0.0;
    }
    SliderState position, target, length, continuity, redundancy, activity;
    SharedControls shared;
};

class PlayerLoopTest : public ::testing::Test {
protected:
    void SetUp() override { controls.shared.driver = &driver; }

    void open(const std::string& file, PlayerMode mode) {
        shared.mode = mode;
        loop = std::make_unique<PlayerLoop>(testMedia(file), &playback, shared);
        loop->sleep = [](int) {};
        loop->start();
    }

    // Takes every frame out, as a player that is never starved would;
    // returns their times.
    std::vector<double> drain() {
        std::vector<double> times;
        QMutexLocker lock(playback.mutex);
        while (playback.count > 0) {
            std::unique_ptr<Frame> f(playback.getFrame());
            times.push_back(f->frameTime);
        }
        return times;
    }

    // Runs passes, taking at most `take` frames out after each, until the
    // loop has nothing left to do.
    std::vector<double> runToEnd(int take = 1 << 30) {
        std::vector<double> times;
        for (int i = 0; i < 100000; ++i) {
            const PlayerLoop::Next next = loop->pass();
            QMutexLocker lock(playback.mutex);
            for (int k = 0; k < take && playback.count > 0; ++k) {
                std::unique_ptr<Frame> f(playback.getFrame());
                times.push_back(f->frameTime);
            }
            const bool ended = shared.playing() ? loop->endOfStream : loop->summarizer.finished();
            if (next == PlayerLoop::Next::Wait && ended && playback.count == 0)
                break;
        }
        return times;
    }

    Controls controls;
    SharedControls& shared = controls.shared;
    RecordingDriver driver;
    FrameBuffer playback{5000};
    std::unique_ptr<PlayerLoop> loop;
};

TEST_F(PlayerLoopTest, PlayFillsTheBufferUpToItsFrameOrByteBoundWithRunningNumbers) {
    struct Bound {
        int32_t frames;
        int64_t bytes;
        int expected;
    };
    const int64_t picture = 1280 * 720 * 3 / 2;
    for (const Bound& b : {Bound{300, int64_t{1} << 40, 300}, Bound{300, 40 * picture, 40},
                           Bound{30, int64_t{1} << 40, 30}}) {
        SCOPED_TRACE(b.expected);
        drain();
        open(kH264_720p, PlayerMode::Play);
        loop->bufferTarget = b.frames;
        loop->bufferBudget = b.bytes;
        while (loop->pass() == PlayerLoop::Next::Continue) {
        }
        EXPECT_EQ(playback.count, b.expected);
        int expected = 1;
        for (Frame* f = playback.first; f != nullptr && expected <= playback.count; f = f->next)
            EXPECT_EQ(f->frameNumber, expected++);
    }
}

TEST_F(PlayerLoopTest, PositionReleaseSeeksThereAndDropsLaterSegmentTimes) {
    open(kScenes, PlayerMode::Play);
    loop->pass();
    loop->segmentTimes[1] = 2.0;
    loop->segmentTimes[2] = 5.0;
    loop->segmentTimes[3] = 8.0;
    loop->segmentTimeCount = 4;

    controls.position.value = 4;
    controls.position.changed = true;
    loop->pass();

    EXPECT_FALSE(controls.position.changed);
    EXPECT_EQ(shared.positionValue, 4);
    EXPECT_EQ(driver.lastSlider, 4);
    EXPECT_EQ(loop->segmentTimeCount, 2);
    ASSERT_GT(playback.count, 0);
    EXPECT_GE(playback.first->frameTime, 4.0);
    EXPECT_LT(playback.first->frameTime, 4.5);
}

TEST_F(PlayerLoopTest, ModeChangeRestartsAtTheCurrentSecondWithAnEmptyTree) {
    open(kScenes, PlayerMode::Play);
    loop->pass();
    ASSERT_GT(playback.count, 0);

    shared.positionValue = 3;
    shared.mode = PlayerMode::Summary;
    loop->pass();

    EXPECT_EQ(shared.positionValue, 3);
    EXPECT_EQ(playback.count, 0);
    ASSERT_EQ(loop->summarizer.summaryTree().levelsAdded, 1);
    EXPECT_EQ(loop->summarizer.summaryTree().levelsAdvanced, 0);
    EXPECT_EQ(loop->summarizer.frontTime(), 3);
}

TEST_F(PlayerLoopTest, ReleasesWithinTheWaitGiveOneRebuild) {
    open(kScenes, PlayerMode::Play);
    loop->pass();
    shared.positionValue = 2;
    int settleSleeps = 0;
    loop->sleep = [&](int ms) {
        EXPECT_EQ(ms, 100);
        // The user releases two more sliders while the loop waits.
        if (++settleSleeps == 1)
            controls.length.changed = true;
        else if (settleSleeps == 2)
            controls.activity.changed = true;
    };
    const int64_t restarts = loop->restarts;
    controls.target.changed = true;
    loop->pass();

    EXPECT_EQ(settleSleeps, 3);
    EXPECT_EQ(loop->restarts, restarts + 1);
    EXPECT_FALSE(controls.target.changed || controls.length.changed || controls.activity.changed);
    ASSERT_GT(playback.count, 0);
    EXPECT_GE(playback.first->frameTime, 2.0);
    EXPECT_LT(playback.first->frameTime, 2.5);
}

TEST_F(PlayerLoopTest, AutomaticControlScalesTheLimitsWithTheBufferFill) {
    open(kScenes, PlayerMode::Pause);
    for (int i = 0; i < 150; ++i)
        playback.addFrame(new Frame);
    shared.automaticControl = true;
    loop->pass();
    EXPECT_EQ(loop->depthLimit, 30);
    EXPECT_EQ(loop->nodeLimit, 300);
    EXPECT_EQ(driver.treeDepthPosition, 30);
    EXPECT_EQ(driver.treeDepthMark, 60);
    EXPECT_EQ(driver.treeNodesPosition, 300);
    EXPECT_EQ(driver.treeNodesMark, 500);

    playback.deleteAllFrames();
    loop->pass();
    EXPECT_EQ(loop->depthLimit, 20);
    EXPECT_EQ(loop->nodeLimit, 100);

    shared.automaticControl = false;
    loop->pass();
    EXPECT_EQ(loop->depthLimit, 60);
    EXPECT_EQ(loop->nodeLimit, 500);
}

TEST_F(PlayerLoopTest, AnIdleLoopWaitsAndTellsTheWidgetsNothing) {
    open(kScenes, PlayerMode::Play);
    loop->bufferTarget = 30;
    while (loop->pass() == PlayerLoop::Next::Continue) {
    }
    const int calls = driver.calls;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(loop->pass(), PlayerLoop::Next::Wait);
    EXPECT_EQ(driver.calls, calls);
}

TEST_F(PlayerLoopTest, PlayReachesTheEndAndIdles) {
    open(kScenes, PlayerMode::Play);
    const std::vector<double> times = runToEnd();
    EXPECT_TRUE(loop->endOfStream);
    ASSERT_EQ(static_cast<int>(times.size()), kScenesFrames);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
    EXPECT_EQ(loop->pass(), PlayerLoop::Next::Wait);
}

TEST_F(PlayerLoopTest, SummaryDecidesEveryLevelAtTheEndOfTheStream) {
    shared.treeDepthPosition = 90; // deeper than the video: every decision waits for the end
    open(kScenes, PlayerMode::Summary);
    const std::vector<double> kept = runToEnd();
    EXPECT_TRUE(loop->summarizer.finished());
    // Every decided fragment counts, kept or not: the whole video, the last
    // fragment included.
    EXPECT_EQ(loop->framesHandedOn, kScenesFrames);
    EXPECT_FALSE(kept.empty());
    // Settled at the end, it still holds to its 5 % target: one fragment of ten.
    EXPECT_LE(kept.size(), 25u);
    // Each kept fragment marks its start on the timeline.
    EXPECT_EQ(loop->segmentTimeCount, 1 + static_cast<int>(kept.size()) / 25);
}

TEST_F(PlayerLoopTest, AvoidEmptyBufferPlaysADecidedFragmentTheTreeLeftOut) {
    // With only the length weight and a target of 0, the empty summary wins every level.
    controls.onlyLengthAtTargetZero();
    shared.treeDepthPosition = 20;
    for (bool avoidEmpty : {false, true}) {
        SCOPED_TRACE(avoidEmpty);
        shared.avoidEmptyBuffer = avoidEmpty;
        open(kScenes, PlayerMode::Summary);
        const std::vector<double> kept = runToEnd();
        EXPECT_EQ(kept.empty(), !avoidEmpty);
        EXPECT_EQ(loop->segmentTimeCount > 1, avoidEmpty);
        EXPECT_EQ(loop->framesHandedOn, kScenesFrames);
    }
}

TEST_F(PlayerLoopTest, FirstAdvanceAfterAResetHandsNothingOn) {
    shared.treeDepthPosition = 20;
    open(kScenes, PlayerMode::Summary);
    // Insert until the depth limit is reached; the first advance leaves the start node.
    while (loop->summarizer.summaryTree().levelsAdvanced == 0)
        loop->pass();
    EXPECT_EQ(loop->summarizer.summaryTree().levelsAdvanced, 1);
    EXPECT_EQ(loop->framesHandedOn, 0);
    EXPECT_EQ(playback.count, 0);
}

TEST_F(PlayerLoopTest, SummaryKeepsTheHeadlessRunsFragmentsWhateverThePaceOfPlayback) {
    // A small buffer drained slowly holds decisions back; the fragments kept
    // must still be those of a run that never waits.
    // A shallow tree, so that most decisions are taken before the end.
    SummarySettings settings;
    settings.depth = 2;
    settings.target = 0.3;
    shared.treeDepthPosition = settings.depth;
    controls.target.value = settings.target;
    HeadlessSummary headless(testMedia(kScenes), settings);
    ASSERT_TRUE(headless.run({}));
    std::vector<double> expected;
    for (const KeptFragment& f : headless.keptFragments())
        for (int k = 0; k < f.frames; ++k)
            expected.push_back(f.start + k / 25.0);

    open(kScenes, PlayerMode::Summary);
    loop->bufferTarget = 30;
    const std::vector<double> played = runToEnd(3);
    ASSERT_EQ(played.size(), expected.size());
    for (size_t i = 0; i < played.size(); ++i)
        EXPECT_NEAR(played[i], expected[i], 1e-9) << i;
}

} // namespace

#include "DecodingPass.h"
#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "HeadlessControls.h"
#include "SummaryTree.h"
#include "TestMedia.h"
#include "VideoReader.h"

#include <QMutexLocker>
#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kScenesFrames = 250; // 10 s at 25 fps

// Records what the pass asks of the widgets.
struct RecordingDriver : WidgetDriver {
    int sliderMoves = 0;
    int lastSlider = -1;
    std::vector<double> timeline;
    double timelineMark1 = 0;
    double treeDepthPosition = 0, treeDepthMark = 0;
    double treeNodesPosition = 0, treeNodesMark = 0;
    void setPositionSlider(int seconds) override {
        ++sliderMoves;
        lastSlider = seconds;
    }
    void setTimelineData(const double* values, int count, double, double, double, double mark1,
                         double) override {
        timeline.assign(values, values + count);
        timelineMark1 = mark1;
    }
    void setTreeDepthStrip(double, double, double position, double mark1, double) override {
        treeDepthPosition = position;
        treeDepthMark = mark1;
    }
    void setTreeNodesStrip(double, double, double position, double mark1, double) override {
        treeNodesPosition = position;
        treeNodesMark = mark1;
    }
};

class DecodingPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        controls.positionSliderMaximum = 10;
        controls.driver = &driver;
    }

    void TearDown() override {
        pass.reset();
        playback.deleteAllFrames();
    }

    void open(const std::string& file, bool play, bool summary, bool pause) {
        controls.playMode = play;
        controls.summaryMode = summary;
        controls.pauseMode = pause;
        pass = std::make_unique<DecodingPass>(testMedia(file).c_str(), &playback, controls);
        pass->sleep = [this](int) { ++sleeps; };
        pass->start();
    }

    // Runs passes as a never-starved player would: frames are taken out as
    // soon as they arrive. Returns the frames taken, in order.
    std::vector<double> runToEnd(int maxPasses = 100000) {
        std::vector<double> times;
        for (int i = 0; i < maxPasses; ++i) {
            const DecodingPass::Next next = pass->pass();
            while (playback.count > 0) {
                Frame* f = playback.getFrame();
                times.push_back(f->frameTime);
                delete f;
            }
            if (next == DecodingPass::Next::Sleep && pass->endOfStream &&
                (controls.playMode || pass->depth() == 0))
                break;
        }
        return times;
    }

    // The window's starting settings; each test changes what it is about.
    HeadlessControls headless;
    SharedControls& controls = headless.shared;
    SliderState& position = headless.position;
    SliderState& target = headless.targetLength;
    SliderState& lengthWeight = headless.lengthWeight;
    SliderState& continuityWeight = headless.continuityWeight;
    SliderState& redundancyWeight = headless.redundancyWeight;
    SliderState& activityWeight = headless.activityWeight;
    RecordingDriver driver;
    FrameBuffer playback{5000};
    std::unique_ptr<DecodingPass> pass;
    int sleeps = 0;
};

TEST_F(DecodingPassTest, PlayFillsTheBufferToItsTargetWithRunningFrameNumbers) {
    open(kH264_720p, true, false, false);
    for (int i = 0; i < 30; ++i)
        pass->pass();
    ASSERT_GE(playback.count, 300);
    EXPECT_LE(playback.count, 324);
    int expected = 1;
    for (Frame* f = playback.first; f != nullptr && expected <= playback.count; f = f->next)
        EXPECT_EQ(f->frameNumber, expected++);
    EXPECT_EQ(pass->framesHandedOn, playback.count);
    EXPECT_EQ(driver.lastSlider, 0);
}

TEST_F(DecodingPassTest, PositionReleaseSeeksThereAndDropsLaterSegmentTimes) {
    open(kScenes, true, false, false);
    pass->pass();
    pass->segmentTimes[1] = 2.0;
    pass->segmentTimes[2] = 5.0;
    pass->segmentTimes[3] = 8.0;
    pass->segmentTimeCount = 4;

    controls.positionSliderValue = 4;
    position.changed = true;
    pass->pass();

    EXPECT_FALSE(position.changed);
    EXPECT_EQ(controls.positionValue, 4);
    EXPECT_EQ(pass->segmentTimeCount, 2);
    ASSERT_GT(playback.count, 0);
    EXPECT_GE(playback.first->frameTime, 4.0);
    EXPECT_LT(playback.first->frameTime, 4.5);
}

TEST_F(DecodingPassTest, ModeChangeRestartsAtTheCurrentSecondWithAnEmptyTree) {
    open(kScenes, true, false, false);
    pass->pass();
    ASSERT_GT(playback.count, 0);

    controls.positionSliderValue = 3;
    controls.summaryMode = true;
    controls.playMode = false;
    pass->pass();

    EXPECT_EQ(controls.positionValue, 3);
    EXPECT_TRUE(controls.seenSummaryMode);
    EXPECT_FALSE(controls.seenPlayMode);
    EXPECT_EQ(playback.count, 0);
    ASSERT_EQ(pass->tree->levelsAdded, 1);
    EXPECT_EQ(pass->tree->levelsAdvanced, 0);
    EXPECT_EQ(pass->frontTime, 3);
}

TEST_F(DecodingPassTest, ReleasesWithinTheWaitGiveOneRebuild) {
    open(kScenes, true, false, false);
    pass->pass();
    controls.positionValue = 2;
    int rebuildSleeps = 0;
    pass->sleep = [&](int ms) {
        EXPECT_EQ(ms, 100);
        // The user releases two more sliders while the pass waits.
        if (++rebuildSleeps == 1)
            lengthWeight.changed = true;
        else if (rebuildSleeps == 2)
            activityWeight.changed = true;
    };
    target.changed = true;
    pass->pass();

    EXPECT_EQ(rebuildSleeps, 3);
    EXPECT_FALSE(target.changed || lengthWeight.changed || activityWeight.changed);
    ASSERT_GT(playback.count, 0);
    EXPECT_GE(playback.first->frameTime, 2.0);
    EXPECT_LT(playback.first->frameTime, 2.5);
}

TEST_F(DecodingPassTest, AutomaticControlScalesTheLimitsWithTheBufferFill) {
    open(kScenes, false, false, true);
    for (int i = 0; i < 150; ++i)
        playback.addFrame(new Frame);
    controls.automaticControl = true;
    controls.treeDepthPosition = 60;
    controls.treeNodesPosition = 500;
    EXPECT_EQ(pass->pass(), DecodingPass::Next::Sleep);
    EXPECT_EQ(pass->depthLimit, 30);
    EXPECT_EQ(pass->nodeLimit, 300);
    EXPECT_EQ(driver.treeDepthPosition, 30);
    EXPECT_EQ(driver.treeDepthMark, 60);
    EXPECT_EQ(driver.treeNodesPosition, 300);
    EXPECT_EQ(driver.treeNodesMark, 500);

    playback.deleteAllFrames();
    pass->pass();
    EXPECT_EQ(pass->depthLimit, 20);
    EXPECT_EQ(pass->nodeLimit, 100);

    controls.automaticControl = false;
    pass->pass();
    EXPECT_EQ(pass->depthLimit, 60);
    EXPECT_EQ(pass->nodeLimit, 500);
}

TEST_F(DecodingPassTest, PlayReachesTheEndAndIdles) {
    open(kScenes, true, false, false);
    const std::vector<double> times = runToEnd();
    EXPECT_TRUE(pass->endOfStream);
    ASSERT_FALSE(times.empty());
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
    EXPECT_EQ(pass->pass(), DecodingPass::Next::Sleep);
}

TEST_F(DecodingPassTest, SummaryDecidesEveryLevelAtTheEndOfTheStream) {
    controls.treeDepthPosition = 90; // deeper than the video: every decision waits for the end
    open(kScenes, false, true, false);
    const std::vector<double> kept = runToEnd();
    EXPECT_TRUE(pass->endOfStream);
    EXPECT_EQ(pass->depth(), 0);
    // Every decided fragment counts, kept or not: the whole video, the last
    // fragment included.
    EXPECT_EQ(pass->framesHandedOn, kScenesFrames);
    EXPECT_FALSE(kept.empty());
    // Settled at the end, it still holds to its 5 % target: one fragment of ten.
    EXPECT_LE(kept.size(), 25u);
    // Each kept fragment marks its start on the timeline.
    EXPECT_EQ(pass->segmentTimeCount, 1 + static_cast<int>(kept.size()) / 25);
}

TEST_F(DecodingPassTest, LeftOutFragmentsAdvanceTheFrameCountWithoutHandingFramesOn) {
    // With only the length weight and a target of 0, the empty summary wins every level.
    target.value = 0.0;
    continuityWeight.value = 0.0;
    redundancyWeight.value = 0.0;
    activityWeight.value = 0.0;
    controls.treeDepthPosition = 20;
    open(kScenes, false, true, false);
    const std::vector<double> kept = runToEnd();
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(pass->segmentTimeCount, 1);
    EXPECT_GT(pass->framesHandedOn, 200);
}

TEST_F(DecodingPassTest, AvoidEmptyBufferPlaysTheNextDecidedFragment) {
    target.value = 0.0;
    continuityWeight.value = 0.0;
    redundancyWeight.value = 0.0;
    activityWeight.value = 0.0;
    controls.treeDepthPosition = 20;
    controls.avoidEmptyBuffer = true;
    open(kScenes, false, true, false);
    const std::vector<double> kept = runToEnd();
    EXPECT_FALSE(kept.empty());
    EXPECT_GT(pass->segmentTimeCount, 1);
}

TEST_F(DecodingPassTest, FirstAdvanceAfterAResetHandsNothingOn) {
    controls.treeDepthPosition = 20;
    open(kScenes, false, true, false);
    // Insert until the depth limit is reached; the first advance leaves the start node.
    while (pass->tree->levelsAdvanced == 0)
        pass->pass();
    EXPECT_EQ(pass->tree->levelsAdvanced, 1);
    EXPECT_EQ(pass->framesHandedOn, 0);
    EXPECT_EQ(playback.count, 0);
}

} // namespace

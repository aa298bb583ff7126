#include "Frame.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <memory>

using testframes::luma;
using testframes::uniformFrame;

namespace {

// Death tests only match standard error; the mode errors go to standard
// output, so the dying child sends its standard output there too.
void withStdoutOnStderr() {
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

std::unique_ptr<Frame> texturedFrame() {
    std::unique_ptr<Frame> frame(uniformFrame(48, 40, 0, 100, 150));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            luma(frame.get(), x, y) = static_cast<uint8_t>(5 * x + 2 * y);
    frame->avFrame->data[1][7] = 30;
    return frame;
}

TEST(FrameLifecycle, GetAVFrameWithoutPictureWarnsAndReturnsNone) {
    Frame frame;
    testing::internal::CaptureStdout();
    EXPECT_EQ(frame.getAVFrame(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nFrame::getAVFrame WARNING: avFrame==NULL!");
}

TEST(FrameLifecycle, GetAVFrameReturnsTheAttachedPicture) {
    std::unique_ptr<Frame> frame(uniformFrame(16, 16, 1, 2, 3));
    AVFrame* picture = frame->avFrame;
    testing::internal::CaptureStdout();
    EXPECT_EQ(frame->getAVFrame(), picture);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(FrameLifecycle, SwitchComputesTheHistogramThenReleasesThePicture) {
    std::unique_ptr<Frame> frame(uniformFrame(64, 64, 16, 128, 128));
    testing::internal::CaptureStdout();
    frame->switchToHistogramMode();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(frame->mode, HISTOGRAM_MODE);
    EXPECT_EQ(frame->avFrame, nullptr);
    EXPECT_TRUE(frame->histogramComputed);
    EXPECT_EQ(frame->histogram[0][1], 64 * 9);
    EXPECT_FALSE(frame->colorLayoutComputed);
}

TEST(FrameLifecycle, DescriptorsRemainComputableInHistogramMode) {
    std::unique_ptr<Frame> kept = texturedFrame();
    std::unique_ptr<Frame> switched = texturedFrame();
    switched->switchToHistogramMode();
    switched->computeColorLayout();
    kept->computeColorLayout();
    EXPECT_EQ(std::memcmp(kept->colorLayout, switched->colorLayout, sizeof kept->colorLayout), 0);
    EXPECT_EQ(switched->getActivity(), kept->getActivity());
    EXPECT_EQ(switched->getColorCount(), kept->getColorCount());
    EXPECT_NEAR(frameDifference(kept.get(), switched.get()), 0.0, 1e-12);
}

TEST(FrameLifecycle, SwitchingTwiceWarnsAndChangesNothing) {
    std::unique_ptr<Frame> frame = texturedFrame();
    frame->switchToHistogramMode();
    double histogram[3][16];
    std::memcpy(histogram, frame->histogram, sizeof histogram);
    testing::internal::CaptureStdout();
    frame->switchToHistogramMode();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nFrame::switchToHistogramMode: WARNING: HISTOGRAM_MODE already set");
    EXPECT_EQ(frame->mode, HISTOGRAM_MODE);
    EXPECT_EQ(std::memcmp(histogram, frame->histogram, sizeof histogram), 0);
}

TEST(FrameModeDeathTest, GetAVFrameInHistogramModeEndsTheProcess) {
    std::unique_ptr<Frame> frame = texturedFrame();
    frame->switchToHistogramMode();
    EXPECT_EXIT(
        {
            withStdoutOnStderr();
            frame->getAVFrame();
        },
        testing::ExitedWithCode(255), "\nFrame::getAVFrame ERROR: operates in AVFRAME mode$");
}

TEST(FrameModeDeathTest, SetAVFrameInHistogramModeEndsTheProcess) {
    std::unique_ptr<Frame> frame = texturedFrame();
    frame->switchToHistogramMode();
    EXPECT_EXIT(
        {
            withStdoutOnStderr();
            frame->setAVFrame(nullptr);
        },
        testing::ExitedWithCode(255), "\nFrame::setAVFrame ERROR: operates in AVFRAME mode$");
}

TEST(FrameClone, CarriesDescriptorsAndOwnsACopyOfThePicture) {
    std::unique_ptr<Frame> source = texturedFrame();
    source->frameNumber = 42;
    source->frameTime = 1.75;
    source->computeColorLayout();
    source->getActivity();

    std::unique_ptr<Frame> copy(source->clone());
    EXPECT_EQ(copy->mode, AVFRAME);
    EXPECT_EQ(copy->width, 48);
    EXPECT_EQ(copy->height, 40);
    EXPECT_EQ(copy->frameNumber, 42);
    EXPECT_EQ(copy->frameTime, 1.75);
    EXPECT_TRUE(copy->histogramComputed);
    EXPECT_TRUE(copy->colorLayoutComputed);
    EXPECT_FALSE(copy->activityComputed);
    ASSERT_GT(source->getActivity(), 0.0);
    EXPECT_EQ(copy->getActivity(), source->getActivity());
    EXPECT_EQ(std::memcmp(copy->histogram, source->histogram, sizeof copy->histogram), 0);
    EXPECT_EQ(std::memcmp(copy->colorLayout, source->colorLayout, sizeof copy->colorLayout), 0);

    ASSERT_NE(copy->avFrame, nullptr);
    ASSERT_NE(copy->avFrame, source->avFrame);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ(luma(copy.get(), x, y), luma(source.get(), x, y));
    EXPECT_EQ(copy->avFrame->data[1][7], 30);
    EXPECT_EQ(copy->avFrame->data[2][7], 150);

    luma(source.get(), 0, 0) = 255;
    EXPECT_EQ(luma(copy.get(), 0, 0), 0);
}

TEST(FrameClone, LeavesAnUncomputedColourLayoutUncomputed) {
    std::unique_ptr<Frame> source = texturedFrame();
    source->computeHistogram();
    std::unique_ptr<Frame> copy(source->clone());
    EXPECT_TRUE(copy->histogramComputed);
    EXPECT_FALSE(copy->colorLayoutComputed);
    for (double c : copy->colorLayout[0])
        EXPECT_EQ(c, 0.0);
}

TEST(FrameClone, CopiesHistogramValuesEvenWhenNotComputed) {
    std::unique_ptr<Frame> source = texturedFrame();
    source->histogram[2][3] = 12;
    std::unique_ptr<Frame> copy(source->clone());
    EXPECT_FALSE(copy->histogramComputed);
    EXPECT_EQ(copy->histogram[2][3], 12);
}

} // namespace

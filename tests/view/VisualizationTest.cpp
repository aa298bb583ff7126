#include "DisplayWindow.h"
#include "FakePacerClock.h"
#include "Frame.h"
#include "FrameBuffer.h"
#include "Picture.h"
#include "SharedControls.h"
#include "ThreadVisualitation.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
}

using namespace std::chrono_literals;

namespace {

// A frame whose left half has luma `left` and right half luma `right`, neutral chroma.
Frame* makeFrame(int width, int height, uint8_t left, uint8_t right, double time) {
    Frame* frame = new Frame;
    frame->width = width;
    frame->height = height;
    AVFrame* picture = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
    for (int row = 0; row < height; ++row) {
        uint8_t* y = picture->data[0] + row * picture->linesize[0];
        std::memset(y, left, width / 2);
        std::memset(y + width / 2, right, width - width / 2);
    }
    for (int plane = 1; plane < 3; ++plane) {
        std::memset(picture->data[plane], 128, picture->linesize[plane] * ((height + 1) / 2));
    }
    frame->setAVFrame(picture);
    frame->frameTime = time;
    return frame;
}

int count(const cv::Mat& picture, cv::Rect area, const cv::Vec4b& colour) {
    int n = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
            n += picture.at<cv::Vec4b>(y, x) == colour;
        }
    }
    return n;
}

const cv::Rect strip{15, 15, 416, 21};
const cv::Rect labelArea{88, 15, 77, 21};

const cv::Vec4b black(0, 0, 0, 255);
const cv::Vec4b green(20, 250, 20, 255);   // Play label
const cv::Vec4b yellow(20, 250, 250, 255); // Summary and Pause labels
const cv::Vec4b white(250, 250, 250, 255); // time and banner

class Visualization : public testing::Test {
protected:

    // A copy of the window picture (B, G, R, X bytes).
    cv::Mat windowPicture() {
        QMutexLocker lock(display.pictureMutex);
        return cv::Mat(display.height, display.width, CV_8UC4, display.picture->data[0],
                       display.picture->linesize[0])
            .clone();
    }

    void show(Frame* frame) {
        std::unique_ptr<Frame> owned(frame);
        thread.showFrame(owned.get());
    }

    // Shows a frame with the given modes; tells how many pixels of the label
    // area are in the Play colour and in the Summary and Pause colour.
    std::pair<int, int> labelPixels(PlayerMode mode) {
        controls.mode = mode;
        show(makeFrame(90, 60, 16, 16, 1.0));
        const cv::Mat picture = windowPicture();
        return {count(picture, strip, green), count(picture, strip, yellow)};
    }

    DisplayWindow display{"VIDEO", 445, 335};
    FrameBuffer frameBuffer{5000};
    SharedControls controls;
    ThreadVisualitation thread{&frameBuffer, &display, controls};
};

bool sameArea(const cv::Mat& a, const cv::Mat& b, cv::Rect strip) {
    return cv::countNonZero(cv::Mat(a(strip) != b(strip)).reshape(1)) == 0;
}

} // namespace

TEST(FittedPicture, KeepsTheDisplayProportionsCentredInTheArea) {
    struct Case {
        int width, height;
        double sampleAspect;
        cv::Rect expected;
    };
    const Case cases[] = {
        {1280, 720, 1.0, {0, 42, 445, 250}},        // 16:9: bars above and below
        {640, 480, 1.0, {0, 0, 445, 334}},          // 4:3 fills the 445 x 335 area
        {720, 576, 16.0 / 15, {0, 0, 445, 334}},    // PAL 4:3, pixels wider than high
        {720, 480, 32.0 / 27, {0, 42, 445, 250}},   // NTSC 16:9 on narrow storage
        {480, 640, 1.0, {97, 0, 251, 335}},         // portrait: bars at the sides
        {720, 576, 0.0, {13, 0, 419, 335}},         // unknown pixel shape counts as square
    };
    for (const Case& c : cases)
        EXPECT_EQ(fittedPicture(445, 335, c.width, c.height, c.sampleAspect), c.expected)
            << c.width << "x" << c.height << " " << c.sampleAspect;
}

TEST_F(Visualization, AWidePictureShowsBlackBarsAboveAndBelowOnly) {
    show(makeFrame(320, 180, 16, 235, 0.0)); // 16:9, black left half, white right half
    EXPECT_TRUE(display.pictureReady);
    const cv::Mat picture = windowPicture();
    const cv::Vec4b pictureWhite(254, 254, 254, 255);
    EXPECT_EQ(black, picture.at<cv::Vec4b>(300, 300)); // below the picture
    EXPECT_EQ(black, picture.at<cv::Vec4b>(334, 444));
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(200, 444)); // no bar at the side
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(43, 300));
    // Nearest neighbour: the edge between the halves falls at the scaled middle.
    EXPECT_EQ(black, picture.at<cv::Vec4b>(100, 221));
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(100, 223));
}

TEST_F(Visualization, TheStripIsAFilledBlackRectangleFrom15To430And15To35) {
    show(makeFrame(89, 67, 235, 235, 0.0)); // fills the area
    const cv::Mat picture = windowPicture();
    const cv::Vec4b pictureWhite(254, 254, 254, 255);
    EXPECT_EQ(black, picture.at<cv::Vec4b>(15, 15));
    EXPECT_EQ(black, picture.at<cv::Vec4b>(35, 430));
    EXPECT_EQ(black, picture.at<cv::Vec4b>(33, 17));
    EXPECT_EQ(black, picture.at<cv::Vec4b>(17, 428));
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(14, 15));
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(36, 430));
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(25, 14));
    EXPECT_EQ(pictureWhite, picture.at<cv::Vec4b>(25, 431));
    // Time and banner are written in near-white on the strip.
    EXPECT_GT(count(picture, cv::Rect(20, 15, 65, 21), white), 20);
    EXPECT_GT(count(picture, cv::Rect(165, 15, 265, 21), white), 100);
}

TEST_F(Visualization, TheTimeShowsOneDecimalInSixCharacters) {
    show(makeFrame(90, 60, 16, 16, 12.34));
    const cv::Mat first = windowPicture();
    show(makeFrame(90, 60, 16, 16, 12.31));
    const cv::Mat sameTenth = windowPicture();
    show(makeFrame(90, 60, 16, 16, 13.34));
    const cv::Mat nextSecond = windowPicture();
    EXPECT_TRUE(sameArea(first, sameTenth, strip));
    EXPECT_FALSE(sameArea(first, nextSecond, strip));
}

TEST_F(Visualization, TheModeLabelHasTheModesColour) {
    const auto [play, notSummary] = labelPixels(PlayerMode::Play);
    EXPECT_GT(play, 10);
    EXPECT_EQ(0, notSummary);
    const auto [notPlay, summary] = labelPixels(PlayerMode::Summary);
    EXPECT_EQ(0, notPlay);
    EXPECT_GT(summary, 10);
}

TEST_F(Visualization, AFrameWithoutAPictureDrawsNothing) {
    auto frame = std::make_unique<Frame>();
    frame->width = 90;
    frame->height = 60;
    const cv::Mat before = windowPicture();
    testing::internal::CaptureStdout();
    thread.showFrame(frame.get());
    EXPECT_EQ("\nFrame::getAVFrame WARNING: avFrame==NULL!",
              testing::internal::GetCapturedStdout());
    EXPECT_FALSE(display.pictureReady);
    EXPECT_TRUE(sameArea(before, windowPicture(), cv::Rect(0, 0, 445, 335)));
}

TEST_F(Visualization, APauseRelabelsThePictureOnScreen) {
    {
        QMutexLocker lock(frameBuffer.mutex);
        frameBuffer.addFrame(makeFrame(90, 60, 16, 16, 1.0));
    }
    thread.start();
    while (thread.shownFrames() == 0)
        std::this_thread::sleep_for(5ms);
    controls.mode = PlayerMode::Pause;
    while (thread.playbackState() != PlaybackState::Paused)
        std::this_thread::sleep_for(5ms);
    const cv::Mat picture = windowPicture();
    EXPECT_GT(count(picture, labelArea, yellow), 10);
    EXPECT_EQ(0, count(picture, strip, green));
}

TEST_F(Visualization, TheThreadPlaysAndDestroysEveryFrameAndReportsTheWholeSecond) {
    {
        QMutexLocker lock(frameBuffer.mutex);
        frameBuffer.addFrame(makeFrame(90, 60, 16, 235, 10.0));
        frameBuffer.addFrame(makeFrame(90, 60, 16, 235, 11.5));
        frameBuffer.addFrame(makeFrame(90, 60, 16, 235, 12.34));
    }
    thread.start();
    // Only the last frame reports second 12.
    while (controls.positionValue != 12) {
        std::this_thread::sleep_for(5ms);
    }
    thread.requestStop();
    thread.wait();
    EXPECT_TRUE(thread.isFinished());
    EXPECT_EQ(12, controls.positionValue);
    EXPECT_TRUE(display.pictureReady);
    {
        QMutexLocker lock(frameBuffer.mutex);
        EXPECT_EQ(0, frameBuffer.count);
    }
    EXPECT_EQ(3, thread.shownFrames() + thread.droppedFrames());
    EXPECT_GE(thread.shownFrames(), 1);
}

TEST_F(Visualization, AStarvedThreadStopsWhenAsked) {
    thread.start();
    while (thread.playbackState() != PlaybackState::Starved) {
        std::this_thread::sleep_for(5ms);
    }
    thread.requestStop();
    thread.wait();
    EXPECT_TRUE(thread.isFinished());
    EXPECT_EQ(PlaybackState::Stopped, thread.playbackState());
    EXPECT_FALSE(display.pictureReady);
}

TEST_F(Visualization, APausedThreadStopsWhenAsked) {
    controls.mode = PlayerMode::Pause;
    thread.start();
    while (thread.playbackState() != PlaybackState::Paused) {
        std::this_thread::sleep_for(5ms);
    }
    thread.requestStop();
    thread.wait();
    EXPECT_TRUE(thread.isFinished());
}

#include "DisplayWindow.h"
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
#include <cstring>
#include <thread>
#include <utility>

extern "C" {
#include <libavutil/pixfmt.h>
}

using namespace std::chrono_literals;

namespace {

// A dark 90 x 60 frame at the given time.
Frame* makeFrame(double time) {
    Frame* frame = new Frame;
    frame->width = 90;
    frame->height = 60;
    AVFrame* picture = alloc_picture(AV_PIX_FMT_YUV420P, 90, 60);
    std::memset(picture->data[0], 16, picture->linesize[0] * 60);
    std::memset(picture->data[1], 128, picture->linesize[1] * 30);
    std::memset(picture->data[2], 128, picture->linesize[2] * 30);
    frame->setAVFrame(picture);
    frame->frameTime = time;
    return frame;
}

int count(const cv::Mat& picture, cv::Rect area, const cv::Vec4b& colour) {
    int n = 0;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x)
            n += picture.at<cv::Vec4b>(y, x) == colour;
    return n;
}

bool sameArea(const cv::Mat& a, const cv::Mat& b, cv::Rect area) {
    return cv::countNonZero(cv::Mat(a(area) != b(area)).reshape(1)) == 0;
}

// The overlay's strip and, in it, the mode label.
const cv::Rect strip{15, 15, 416, 21};
const cv::Rect labelArea{88, 15, 77, 21};
const cv::Vec4b green(20, 250, 20, 255);   // Play
const cv::Vec4b yellow(20, 250, 250, 255); // Summary and Pause

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

    // Shows a frame in the mode; tells how many pixels of the strip are in
    // the Play colour and in the Summary and Pause colour.
    std::pair<int, int> labelPixels(PlayerMode mode) {
        controls.mode = mode;
        show(makeFrame(1.0));
        const cv::Mat picture = windowPicture();
        return {count(picture, strip, green), count(picture, strip, yellow)};
    }

    DisplayWindow display{"VIDEO", 445, 335};
    FrameBuffer frameBuffer{5000};
    SharedControls controls;
    ThreadVisualitation thread{&frameBuffer, &display, controls};
};

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

TEST_F(Visualization, TheOverlayNamesTheModeAndTellsTheTimeToTheTenth) {
    const auto [play, notSummary] = labelPixels(PlayerMode::Play);
    EXPECT_GT(play, 10);
    EXPECT_EQ(0, notSummary);
    const auto [notPlay, summary] = labelPixels(PlayerMode::Summary);
    EXPECT_EQ(0, notPlay);
    EXPECT_GT(summary, 10);

    show(makeFrame(12.34));
    const cv::Mat first = windowPicture();
    show(makeFrame(12.31));
    EXPECT_TRUE(sameArea(first, windowPicture(), strip));
    show(makeFrame(13.34));
    EXPECT_FALSE(sameArea(first, windowPicture(), strip));
}

TEST_F(Visualization, AFrameWithoutAPictureDrawsNothing) {
    auto frame = std::make_unique<Frame>();
    frame->width = 90;
    frame->height = 60;
    const cv::Mat before = windowPicture();
    thread.showFrame(frame.get());
    EXPECT_FALSE(display.pictureReady);
    EXPECT_TRUE(sameArea(before, windowPicture(), cv::Rect(0, 0, 445, 335)));
}

// Three frames, then none: the thread shows or drops and destroys each, tells
// the whole second of the last, waits starved, relabels the picture on a
// pause, and stops when asked while it waits either way.
TEST_F(Visualization, TheThreadPlaysEveryFrameAndStopsWhileStarvedOrPaused) {
    for (bool pause : {false, true}) {
        SCOPED_TRACE(pause);
        ThreadVisualitation player{&frameBuffer, &display, controls};
        controls.mode = PlayerMode::Play;
        {
            QMutexLocker lock(frameBuffer.mutex);
            for (double time : {10.0, 11.5, 12.34})
                frameBuffer.addFrame(makeFrame(time));
        }
        player.start();
        while (player.playbackState() != PlaybackState::Starved || controls.positionValue != 12)
            std::this_thread::sleep_for(5ms);
        if (pause) {
            controls.mode = PlayerMode::Pause;
            while (player.playbackState() != PlaybackState::Paused)
                std::this_thread::sleep_for(5ms);
            const cv::Mat picture = windowPicture();
            EXPECT_GT(count(picture, labelArea, yellow), 10);
            EXPECT_EQ(0, count(picture, strip, green));
        }
        player.requestStop();
        player.wait();
        EXPECT_EQ(PlaybackState::Stopped, player.playbackState());
        EXPECT_TRUE(display.pictureReady);
        {
            QMutexLocker lock(frameBuffer.mutex);
            EXPECT_EQ(0, frameBuffer.count);
        }
        EXPECT_EQ(3, player.shownFrames() + player.droppedFrames());
        EXPECT_GE(player.shownFrames(), 1);
    }
}

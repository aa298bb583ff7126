// The thread that plays the queued pictures on the window's picture.

#include "DisplayWindow.h"
#include "PlaybackQueue.h"
#include "PlayerCore.h"
#include "ThreadVisualitation.h"

#include <QMutexLocker>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace std::chrono_literals;

namespace {

// How many pixels of the area of the window's picture have the colour.
int count(DisplayWindow& display, cv::Rect area, const cv::Vec4b& colour) {
    QMutexLocker lock(display.pictureMutex);
    const cv::Mat part = cv::Mat(display.height, display.width, CV_8UC4, display.picture->data[0],
                                 display.picture->linesize[0])(area);
    return static_cast<int>(std::count(part.begin<cv::Vec4b>(), part.end<cv::Vec4b>(), colour));
}

// Whether the overlay's time reads `text`: its pixels are those of the text
// drawn in the overlay's font where the time goes.
bool timeReads(DisplayWindow& display, const char* text) {
    const cv::Rect area{15, 15, 73, 21};
    const cv::Vec4b white(250, 250, 250, 255);
    cv::Mat expected(display.height, display.width, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    cv::putText(expected, text, {20, 30}, cv::FONT_HERSHEY_SIMPLEX, 0.55, white, 1, cv::LINE_8);
    QMutexLocker lock(display.pictureMutex);
    const cv::Mat shown(display.height, display.width, CV_8UC4, display.picture->data[0],
                        display.picture->linesize[0]);
    for (int y = area.y; y < area.br().y; ++y)
        for (int x = area.x; x < area.br().x; ++x)
            if ((shown.at<cv::Vec4b>(y, x) == white) != (expected.at<cv::Vec4b>(y, x) == white))
                return false;
    return true;
}

// Three dark frames, then none: the thread shows or drops and destroys each,
// tells the whole second of the last and shows its time, labels the mode, waits starved, and stops
// so (in Summary) or after a pause relabelled the picture (in Play).
TEST(Visualization, TheThreadPlaysEveryFrameAndStopsWhileStarvedOrPaused) {
    // The overlay's strip, its mode label, and the label's colours.
    const cv::Rect strip{15, 15, 416, 21}, label{88, 15, 77, 21};
    const cv::Vec4b play(20, 250, 20, 255), pauseOrSummary(20, 250, 250, 255);
    DisplayWindow display{"VIDEO", 445, 335};
    PlayerCore core;
    const auto queue = makePlaybackQueue();
    queue->setOnPut([&core] { core.screenWakeup.notify(); });
    for (bool pause : {false, true}) {
        SCOPED_TRACE(pause);
        ThreadVisualitation player{*queue, &display, core};
        core.submit(command::ChooseMode{pause ? PlayerMode::Play : PlayerMode::Summary});
        for (double time : {10.0, 11.5, 12.34}) {
            AVFrame* picture = alloc_picture(AV_PIX_FMT_YUV420P, 90, 60);
            std::memset(picture->data[0], 16, picture->linesize[0] * 60);
            std::memset(picture->data[1], 128, picture->linesize[1] * 30);
            std::memset(picture->data[2], 128, picture->linesize[2] * 30);
            PictureFrame frame{Picture(picture, 90, 60), -1, time, 0.0};
            queue->tryPut(frame);
        }
        player.start();
        while (player.playbackState() != PlaybackState::Starved ||
               static_cast<int>(core.state.snapshot().position) != 12)
            std::this_thread::sleep_for(5ms);
        EXPECT_GT(count(display, label, pause ? play : pauseOrSummary), 10);
        // Seconds, six wide with one decimal, of the last frame shown (a
        // loaded machine may drop the last ones as late).
        EXPECT_TRUE(timeReads(display, "0012.3") || timeReads(display, "0011.5") ||
                    timeReads(display, "0010.0"));
        if (pause) {
            core.submit(command::ChooseMode{PlayerMode::Pause});
            while (player.playbackState() != PlaybackState::Paused)
                std::this_thread::sleep_for(5ms);
            EXPECT_GT(count(display, label, pauseOrSummary), 10);
            EXPECT_EQ(0, count(display, strip, play));
        }
        player.stop();
        EXPECT_EQ(PlaybackState::Stopped, player.playbackState());
        EXPECT_TRUE(display.pictureReady);
        EXPECT_TRUE(queue->empty());
        EXPECT_EQ(3, player.shownFrames() + player.droppedFrames());
        EXPECT_GE(player.shownFrames(), 1);
    }
}

} // namespace

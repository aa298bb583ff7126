#include "ThreadVisualitation.h"

#include "ColourConversion.h"
#include "DisplayWindow.h"
#include "Frame.h"
#include "FrameBuffer.h"
#include "SharedControls.h"

#include <QMutex>
#include <QMutexLocker>

#include <opencv2/imgproc.hpp>

#include <cstdio>

namespace {

// OpenCV takes colours as blue, green, red; the window picture's fourth byte
// is kept opaque.
const cv::Scalar stripColour(0, 0, 0, 255);
const cv::Scalar textColour(250, 250, 250, 255);
const cv::Scalar playColour(20, 250, 20, 255);
const cv::Scalar summaryColour(20, 250, 250, 255);

constexpr double fontAScale = 0.55;
constexpr double fontBScale = 0.5;

void putOverlayText(cv::Mat& picture, const char* text, cv::Point origin, double scale,
                    const cv::Scalar& colour) {
    cv::putText(picture, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, colour, 1, cv::LINE_8);
}

} // namespace

ThreadVisualitation::ThreadVisualitation(FrameBuffer* frameBuffer, DisplayWindow* display,
                                         SharedControls& controls, int32_t frameRate,
                                         int32_t maxLateFrames, std::unique_ptr<PacerClock> clock)
    : frameBuffer(frameBuffer), display(display), frameRate(frameRate),
      maxLateFrames(maxLateFrames), controls(controls), clock(std::move(clock)),
      pacer(*this->clock, stopRequested, frameRate, maxLateFrames) {}

ThreadVisualitation::~ThreadVisualitation() {
    requestStop();
    wait();
    const std::lock_guard<std::mutex> finished(running);
}

void ThreadVisualitation::requestStop() {
    stopRequested = true;
}

void ThreadVisualitation::run() {
    const std::lock_guard<std::mutex> busy(running);
    controls.positionValue = 0;
    if (!pacer.start()) {
        return;
    }
    // A waiting thread asks for one repaint when it starts to wait, not one
    // at every look: an idle player paints nothing.
    bool waiting = false;
    while (!stopRequested) {
        if (controls.paused()) {
            postRepaint(display);
            waitWhilePaused();
            waiting = false;
            continue;
        }
        Frame* taken = nullptr;
        if (!takeFrame(taken)) {
            if (!waiting)
                postRepaint(display);
            waiting = true;
            pacer.starve();
            continue;
        }
        waiting = false;
        if (taken == nullptr) {
            continue;
        }
        // This thread owns every frame it takes.
        std::unique_ptr<Frame> frame(taken);
        const PaceDecision decision = pacer.pace();
        if (decision == PaceDecision::Stop) {
            return;
        }
        if (decision == PaceDecision::Show) {
            showFrame(frame.get());
            ++shown;
        } else {
            ++dropped;
        }
        controls.positionValue = static_cast<int32_t>(frame->frameTime);
        frame.reset();
        postRepaint(display);
    }
}

bool ThreadVisualitation::takeFrame(Frame*& frame) {
    {
        QMutexLocker lock(frameBuffer->mutex);
        if (frameBuffer->count <= 0) {
            return false;
        }
        frame = frameBuffer->getFrame();
    }
    // The buffer has room again: the decoding thread may be waiting for it.
    controls.wakeup.notify();
    return true;
}

void ThreadVisualitation::showFrame(Frame* frame) {
    windowPicture = display->picture;
    AVFrame* yuv = frame->getAVFrame();
    if (yuv == nullptr || frame->width <= 0 || frame->height <= 0) {
        return;
    }
    bool pauseLabel = false;
    {
        QMutexLocker lock(display->pictureMutex);
        cv::Mat window(display->height, display->width, CV_8UC4, windowPicture->data[0],
                       windowPicture->linesize[0]);
        yuv420p_to_bgr_scaled(yuv, frame->width, frame->height, window);
        pauseLabel = drawOverlay(window, frame->frameTime);
    }
    // Marked before a pause so that the paused picture, not the logo, is shown.
    display->pictureReady = true;
    ++display->pictureGeneration;
    if (pauseLabel) {
        waitWhilePaused();
    }
}

bool ThreadVisualitation::drawOverlay(cv::Mat& picture, double frameTime) {
    cv::rectangle(picture, cv::Point(15, 35), cv::Point(430, 15), stripColour, cv::FILLED,
                  cv::LINE_8);
    char time[32];
    std::snprintf(time, sizeof time, "%06.1f", frameTime);
    putOverlayText(picture, time, cv::Point(20, 30), fontAScale, textColour);
    putOverlayText(picture, VISUALITATION_BANNER, cv::Point(165, 30), fontAScale, textColour);
    switch (controls.mode.load()) {
    case PlayerMode::Play:
        putOverlayText(picture, " PLAY ", cv::Point(100, 30), fontBScale, playColour);
        return false;
    case PlayerMode::Summary:
        putOverlayText(picture, "SUMMARY", cv::Point(90, 30), fontBScale, summaryColour);
        return false;
    case PlayerMode::Pause:
        putOverlayText(picture, "  PAUSE", cv::Point(90, 30), fontBScale, summaryColour);
        return true;
    }
    return false;
}

void ThreadVisualitation::waitWhilePaused() {
    pacer.waitWhilePaused([this] { return controls.paused(); });
}

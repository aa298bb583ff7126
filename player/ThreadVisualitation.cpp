#include "ThreadVisualitation.h"

#include "ColourConversion.h"
#include "DisplayWindow.h"
#include "PlayerCore.h"
#include "SubtitleOverlay.h"

#include <QMutex>
#include <QMutexLocker>

#include <opencv2/imgproc.hpp>

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace {

// OpenCV takes colours as blue, green, red; the window picture's fourth byte
// is kept opaque.
const cv::Scalar stripColour(0, 0, 0, 255);
const cv::Scalar textColour(250, 250, 250, 255);
const cv::Scalar playColour(20, 250, 20, 255);
const cv::Scalar summaryColour(20, 250, 250, 255);

constexpr double fontAScale = 0.55;
constexpr double fontBScale = 0.5;
// The overlay is laid out for the default picture area and grows with a
// larger one, so that it stays as legible as the picture is large.
constexpr int kDefaultWidth = 445;
constexpr int kDefaultHeight = 335;
constexpr double kLargestOverlay = 3.0;

void putOverlayText(cv::Mat& picture, const char* text, cv::Point origin, double scale,
                    const cv::Scalar& colour, int thickness = 1) {
    cv::putText(picture, text, origin, cv::FONT_HERSHEY_SIMPLEX, scale, colour, thickness,
                cv::LINE_8);
}

double overlayScale(const cv::Mat& picture) {
    const double s = std::min(static_cast<double>(picture.cols) / kDefaultWidth,
                              static_cast<double>(picture.rows) / kDefaultHeight);
    return std::clamp(s, 1.0, kLargestOverlay);
}

// The window picture of the display, which must be locked.
cv::Mat windowOf(DisplayWindow* display) {
    return cv::Mat(display->height, display->width, CV_8UC4, display->picture->data[0],
                   display->picture->linesize[0]);
}

} // namespace

ThreadVisualitation::ThreadVisualitation(PlaybackQueue& queue, DisplayWindow* display,
                                         PlayerCore& playerCore, int32_t maxLateFrames)
    : playbackQueue(queue), display(display), maxLateFrames(maxLateFrames), core(playerCore),
      worker(&playerCore.screenWakeup),
      pacer(
          clock, [this] { return worker.stopRequested(); }, maxLateFrames) {}

ThreadVisualitation::~ThreadVisualitation() {
    worker.stop();
    sws_freeContext(smoothScaler);
}

void ThreadVisualitation::setSubtitles(SubtitleLines& lines) {
    subtitles = std::make_unique<SubtitleOverlay>(lines);
}

void ThreadVisualitation::start() {
    worker.start([this] {
        run();
        pacer.finish();
    });
}

void ThreadVisualitation::run() {
    if (!pacer.start()) {
        return;
    }
    // A waiting thread draws and asks for a repaint when it starts to wait
    // (or the area changes size), not at every look: an idle player paints
    // nothing.
    bool waiting = false;
    while (!worker.stopRequested()) {
        if (overlayOutdated()) {
            redraw();
        }
        followRestart();
        if (core.state.read([](const PlayerState& s) { return s.paused; })) {
            waitWhilePaused();
            waiting = false;
            continue;
        }
        std::optional<PlaybackQueue::Entry> taken = playbackQueue.tryGet();
        if (!taken) {
            tellEnded();
            if (!waiting || overlayOutdated()) {
                redraw();
            }
            waiting = true;
            pacer.starve();
            waitForChange();
            continue;
        }
        waiting = false;
        if (stale(taken->serial)) {
            continue;
        }
        PictureFrame& frame = taken->item;
        // A frame is late by a share of its time on screen, which the speed shortens.
        const PaceDecision decision =
            pacer.pace(frame.playTime, core.screen.framePeriod / core.screen.speed);
        if (decision == PaceDecision::Stop) {
            return;
        }
        if (stale(taken->serial)) {
            continue; // a seek came while it waited for its time
        }
        publishPosition(frame.frameTime);
        if (decision == PaceDecision::Show) {
            core.screen.shownSerial = taken->serial;
            showFrame(frame);
            if (onShown) {
                onShown(frame);
            }
            ++shown;
            onScreen = std::move(frame);
        } else {
            ++dropped;
        }
    }
}

Worker::Clock::time_point ThreadVisualitation::nextRedraw() const {
    const int64_t noticeUntil =
        core.state.read([](const PlayerState& s) { return s.soundNoticeUntil; });
    const int64_t now = steadyMilliseconds();
    if (noticeUntil <= now)
        return Worker::Clock::time_point::max();
    return Worker::Clock::now() + std::chrono::milliseconds(noticeUntil - now);
}

void ThreadVisualitation::waitForChange() {
    worker.waitForWake(nextRedraw());
}

cv::Rect ThreadVisualitation::scaleInto(const PictureFrame& frame, cv::Mat& window) {
    const int width = frame.picture.width();
    const int height = frame.picture.height();
    const cv::Rect area =
        fittedPicture(window.cols, window.rows, width, height, core.screen.sampleAspect);
    // Black bars around the picture where its proportions leave room.
    window(cv::Rect(0, 0, window.cols, area.y)).setTo(stripColour);
    window(cv::Rect(0, area.y + area.height, window.cols, window.rows - area.y - area.height))
        .setTo(stripColour);
    window(cv::Rect(0, area.y, area.x, area.height)).setTo(stripColour);
    window(cv::Rect(area.x + area.width, area.y, window.cols - area.x - area.width, area.height))
        .setTo(stripColour);
    cv::Mat inside = window(area);
    const AVFrame* yuv = frame.picture.avFrame();
    if (window.cols <= kDefaultWidth && window.rows <= kDefaultHeight) {
        // The default area: each shown pixel is picked from the picture as
        // it always was.
        yuv420p_to_bgr_scaled(yuv, width, height, inside);
        return area;
    }
    // A larger area: a smoother scaler, which converts as it scales.
    smoothScaler =
        sws_getCachedContext(smoothScaler, width, height, AV_PIX_FMT_YUV420P, area.width,
                             area.height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (smoothScaler == nullptr) {
        yuv420p_to_bgr_scaled(yuv, width, height, inside);
        return area;
    }
    uint8_t* destination[4] = {inside.data, nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(inside.step[0]), 0, 0, 0};
    sws_scale(smoothScaler, yuv->data, yuv->linesize, 0, height, destination, strides);
    return area;
}

void ThreadVisualitation::drawSubtitles(cv::Mat inside, double frameTime) {
    subtitlesDrawn = core.state.read([](const PlayerState& s) { return s.subtitlesShown; });
    if (!subtitles || !subtitlesDrawn)
        return;
    // At the picture's size on screen, so that the text grows with it.
    subtitles->draw(inside.data, inside.cols, inside.rows, static_cast<int>(inside.step[0]),
                    std::llround(frameTime * 1000.0));
}

void ThreadVisualitation::showFrame(const PictureFrame& frame) {
    if (!frame.picture || frame.picture.width() <= 0 || frame.picture.height() <= 0) {
        return;
    }
    {
        QMutexLocker lock(display->pictureMutex);
        cv::Mat window = windowOf(display);
        drawSubtitles(window(scaleInto(frame, window)), frame.frameTime);
        drawOverlay(window, frame.frameTime);
        drawnSizeGeneration = display->sizeGeneration;
    }
    core.screen.shownTime = frame.frameTime;
    {
        const std::lock_guard lock(onScreenMutex);
        lastShown = frame;
    }
    // Marked before a pause so that the paused picture, not the logo, is shown.
    display->pictureReady = true;
    ++display->pictureGeneration;
    postRepaint(display);
}

void ThreadVisualitation::drawWaiting(cv::Mat& window) {
    window.setTo(stripColour);
    drawOverlay(window, static_cast<int32_t>(
                            core.state.read([](const PlayerState& s) { return s.position; })));
    const double scale = overlayScale(window);
    const char* text = "Summarising...";
    int baseline = 0;
    const cv::Size size =
        cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, 0.8 * scale, 1, &baseline);
    putOverlayText(window, text, cv::Point((window.cols - size.width) / 2, window.rows / 2),
                   0.8 * scale, textColour, static_cast<int>(std::lround(scale)));
}

void ThreadVisualitation::redraw() {
    {
        QMutexLocker lock(display->pictureMutex);
        cv::Mat window = windowOf(display);
        drawnSizeGeneration = display->sizeGeneration;
        const PlayerState state = core.state.snapshot();
        if (state.shownMode() == PlayerMode::Summary && state.summaryFilling) {
            drawWaiting(window);
            display->pictureReady = true;
        } else if (onScreen.picture) {
            drawSubtitles(window(scaleInto(onScreen, window)), onScreen.frameTime);
            drawOverlay(window, onScreen.frameTime);
        } else {
            return;
        }
    }
    ++display->pictureGeneration;
    postRepaint(display);
}

void ThreadVisualitation::drawOverlay(cv::Mat& picture, double frameTime) {
    const auto [noticeUntil, muted, volumePercent, mode, ended] =
        core.state.read([](const PlayerState& s) {
            return std::tuple{s.soundNoticeUntil, s.muted, s.volumePercent, s.shownMode(),
                              s.ended};
        });
    drawnNoticeUntil = noticeUntil;
    drawnMode = mode;
    drawnEnded = ended;
    const double s = overlayScale(picture);
    const auto at = [s](int x, int y) {
        return cv::Point(static_cast<int>(x * s), static_cast<int>(y * s));
    };
    const int thickness = static_cast<int>(std::lround(s));
    cv::rectangle(picture, at(15, 35), at(430, 15), stripColour, cv::FILLED, cv::LINE_8);
    char time[32];
    std::snprintf(time, sizeof time, "%06.1f", frameTime);
    putOverlayText(picture, time, at(20, 30), fontAScale * s, textColour, thickness);
    putOverlayText(picture, VISUALITATION_BANNER, at(165, 30), fontAScale * s, textColour,
                   thickness);
    if (steadyMilliseconds() < noticeUntil) {
        // The sound's state, for a moment after it changed.
        char sound[32];
        if (muted)
            std::snprintf(sound, sizeof sound, "MUTE");
        else
            std::snprintf(sound, sizeof sound, "VOLUME %d%%", volumePercent);
        cv::rectangle(picture, at(15, 58), at(150, 38), stripColour, cv::FILLED, cv::LINE_8);
        putOverlayText(picture, sound, at(20, 53), fontBScale * s, summaryColour, thickness);
        noticeDrawn = true;
    } else {
        noticeDrawn = false;
    }
    drawnSpeed = core.screen.speed;
    if (const double speed = drawnSpeed; speed != 1.0) {
        char text[16];
        std::snprintf(text, sizeof text, "%gx", speed);
        cv::rectangle(picture, at(370, 58), at(430, 38), stripColour, cv::FILLED, cv::LINE_8);
        putOverlayText(picture, text, at(378, 53), fontBScale * s, summaryColour, thickness);
    }
    if (ended && mode != PlayerMode::Pause) {
        // Nothing more to play: the last picture stays, and says so.
        putOverlayText(picture, "   END", at(90, 30), fontBScale * s, summaryColour, thickness);
        return;
    }
    switch (mode) {
    case PlayerMode::Play:
        putOverlayText(picture, " PLAY ", at(100, 30), fontBScale * s, playColour, thickness);
        break;
    case PlayerMode::Summary:
        putOverlayText(picture, "SUMMARY", at(90, 30), fontBScale * s, summaryColour, thickness);
        break;
    case PlayerMode::Pause:
        putOverlayText(picture, "  PAUSE", at(90, 30), fontBScale * s, summaryColour, thickness);
        break;
    }
}

bool ThreadVisualitation::overlayOutdated() const {
    const auto [noticeUntil, mode, ended, subtitlesShown] =
        core.state.read([](const PlayerState& s) {
            return std::tuple{s.soundNoticeUntil, s.shownMode(), s.ended, s.subtitlesShown};
        });
    const bool noticeDue = steadyMilliseconds() < noticeUntil;
    // Subtitles shown or hidden, or another track: the picture on screen
    // (in a pause, say) shows the change.
    const bool subtitlesChanged = subtitlesShown != subtitlesDrawn ||
                                  (subtitlesShown && subtitles && subtitles->trackChanged());
    return display->sizeGeneration != drawnSizeGeneration || noticeDue != noticeDrawn ||
           core.screen.speed != drawnSpeed || (noticeDue && noticeUntil != drawnNoticeUntil) ||
           mode != drawnMode || ended != drawnEnded || subtitlesChanged;
}

void ThreadVisualitation::waitWhilePaused() {
    // The picture on screen says PAUSE while the pause lasts.
    redraw();
    pacer.pause();
    while (core.state.read([](const PlayerState& s) { return s.paused; }) &&
           !worker.stopRequested()) {
        followRestart();
        if (core.screen.steps > 0 && showStep())
            continue;
        waitForChange();
        if (overlayOutdated())
            redraw();
    }
    pacer.resume();
}

bool ThreadVisualitation::showStep() {
    std::optional<PlaybackQueue::Entry> taken = playbackQueue.tryGet();
    if (!taken)
        return false;
    if (stale(taken->serial))
        return true;
    --core.screen.steps;
    PictureFrame& frame = taken->item;
    publishPosition(frame.frameTime);
    core.screen.shownSerial = taken->serial;
    showFrame(frame);
    onScreen = std::move(frame);
    return true;
}

void ThreadVisualitation::publishPosition(double time) {
    core.state.update([time](PlayerState& state) {
        const bool ended = changeTo(state.ended, false);
        return changeTo(state.position, time) || ended;
    });
}

void ThreadVisualitation::followRestart() {
    // Until a picture of the new placement shows, the position is where it begins.
    if (core.screen.shownSerial != playbackQueue.serial())
        publishPosition(core.screen.restartTime);
}

void ThreadVisualitation::tellEnded() {
    // The loop says so of the placement in force (a restart clears it), so
    // an empty queue then is the end, even of a seek past the last picture.
    if (!core.screen.handedAll)
        return;
    core.state.update([](PlayerState& state) { return changeTo(state.ended, true); });
}

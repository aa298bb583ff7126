#pragma once

// Plays what the decoding thread puts into the playback queue: takes pictures
// oldest first, paces them by their time on the playback timeline, converts
// each shown one to colour, scales it into the DisplayWindow's picture with
// its true proportions (black bars where the area is wider or taller) and an
// overlay (time, banner, mode), and asks for a repaint. It publishes the
// position in the player's state, and the end once everything handed on is
// shown, and stops when asked to. It waits on the core's screen wakeup (a
// picture queued, a mode change, a resize, a sound notice) and on the
// pacer's clock.

#include "PlaybackPacer.h"
#include "PlaybackQueue.h"
#include "PlayerCommands.h"
#include "Worker.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/frame.h>
}

struct SwsContext;
class DisplayWindow;
class PlayerCore;
class SubtitleLines;
class SubtitleOverlay;

// The overlay's banner: product name, the word Demo, and our credit.
inline constexpr char VISUALITATION_BANNER[] = "  Tessaro Demo by the team";

class ThreadVisualitation {
public:
    ThreadVisualitation(PlaybackQueue& playbackQueue, DisplayWindow* display, PlayerCore& core,
                        int32_t maxLateFrames = 1);
    // Stops the thread and waits for it.
    ~ThreadVisualitation();
    ThreadVisualitation(const ThreadVisualitation&) = delete;
    ThreadVisualitation& operator=(const ThreadVisualitation&) = delete;

    // Before start: the subtitles drawn over the pictures while the
    // state says they show.
    void setSubtitles(SubtitleLines& lines);
    void start();
    // Ends every wait of the thread; run returns soon after. Callable from any thread.
    void requestStop() { worker.requestStop(); }
    // requestStop, then waits for the thread.
    void stop() { worker.stop(); }
    // Frames taken and shown, and taken and dropped as late, since the start.
    int64_t shownFrames() const { return shown.load(); }
    int64_t droppedFrames() const { return dropped.load(); }
    // Where playback stands (starting, playing, starved, paused, stopped); from any thread.
    PlaybackState playbackState() const { return pacer.state(); }
    // The pacer, to give it a master clock before the thread starts.
    PlaybackPacer& playbackPacer() { return pacer; }
    // The frame on screen (without a picture before the first); from any thread.
    PictureFrame frameOnScreen() const {
        const std::lock_guard lock(onScreenMutex);
        return lastShown;
    }

    // Converts, scales and overlays the picture into the window picture and
    // marks the window as having a picture. A frame without a picture draws
    // nothing.
    void showFrame(const PictureFrame& frame);
    // Returns once the mode is no longer Pause (or a stop is asked for); the
    // picture on screen says PAUSE meanwhile.
    void waitWhilePaused();
    // In a pause, a frame step: the next picture queued, shown at once.
    // False when none is queued yet.
    bool showStep();

    PlaybackQueue& playbackQueue;
    DisplayWindow* const display;
    const int32_t maxLateFrames;
    // Called on this thread right after each frame reaches the picture, for
    // measurements that time what is shown; set before the thread starts.
    std::function<void(const PictureFrame&)> onShown;

private:
    void run();
    // Draws strip, time, banner and the mode label, scaled to the picture.
    void drawOverlay(cv::Mat& picture, double frameTime);
    // The last frame shown again (after a resize, for a pause), or the
    // summary's waiting picture when none is to be shown.
    void redraw();
    void drawWaiting(cv::Mat& picture);
    // The picture must be drawn again: the area changed size, or the
    // sound's notice came or went.
    bool overlayOutdated() const;
    // When the overlay must be drawn again though nothing else happens: when
    // the sound's notice ends.
    Worker::Clock::time_point nextRedraw() const;
    // Waits for something to change (a picture queued, a mode change, a
    // resize), at most until the overlay must be drawn again.
    void waitForChange();
    // The picture's area in the window.
    cv::Rect scaleInto(const PictureFrame& frame, cv::Mat& picture);
    void drawSubtitles(cv::Mat picture, double frameTime);
    // The state's position is the picture shown, or where a restart begins.
    void publishPosition(double time);
    void followRestart();
    // Everything handed on has been shown: the state says the end is reached.
    void tellEnded();
    // A picture taken before the last flush of the queue (a seek, a restart).
    bool stale(uint64_t serial) const { return serial != playbackQueue.serial(); }

    PlayerCore& core;
    Worker worker;
    std::atomic<int64_t> shown{0};
    std::atomic<int64_t> dropped{0};
    WorkerPacerClock clock{worker};
    PlaybackPacer pacer;
    // The frame on screen, kept to draw it again.
    PictureFrame onScreen;
    uint64_t drawnSizeGeneration = 0;
    bool noticeDrawn = false;
    double drawnSpeed = 1.0;
    // The mode label last drawn, and whether it said the end.
    PlayerMode drawnMode = PlayerMode::Play;
    bool drawnEnded = false;
    // The last frame shown, for the GUI thread's screenshots.
    mutable std::mutex onScreenMutex;
    PictureFrame lastShown;
    int64_t drawnNoticeUntil = 0;
    SwsContext* smoothScaler = nullptr;
    std::unique_ptr<SubtitleOverlay> subtitles;
    bool subtitlesDrawn = false;
};

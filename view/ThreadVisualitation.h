#pragma once

// Plays what the decoding thread puts into the playback buffer: takes frames
// oldest first, paces them by their time on the playback timeline, converts
// each shown frame to colour, scales it into the DisplayWindow's picture with
// its true proportions (black bars where the area is wider or taller) and an
// overlay (time, banner, mode), and asks for a repaint. It reports the
// playing position in whole seconds through positionValue, and stops when
// asked to.

#include "PlaybackPacer.h"

#include <QThread>

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
class Frame;
class FrameBuffer;
struct SharedControls;

// The overlay's banner: product name, the word Demo, and our credit.
inline constexpr char VISUALITATION_BANNER[] = "  Tessaro Demo by the team";

// Where a picture of the given size and sample aspect ratio (pixel width
// over pixel height; 0 or less counts as square) shows in an area of the
// given size: as large as fits with its display proportions, centred.
cv::Rect fittedPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                       double sampleAspect);

class ThreadVisualitation : public QThread {
public:
    ThreadVisualitation(FrameBuffer* frameBuffer, DisplayWindow* display, SharedControls& controls,
                        int32_t maxLateFrames = 1,
                        std::unique_ptr<PacerClock> clock = std::make_unique<SteadyPacerClock>());
    // Stops the thread and waits for it.
    ~ThreadVisualitation() override;
    ThreadVisualitation(const ThreadVisualitation&) = delete;
    ThreadVisualitation& operator=(const ThreadVisualitation&) = delete;

    // Ends every wait of the thread; run returns soon after. Callable from any thread.
    void requestStop();
    // Frames taken and shown, and taken and dropped as late, since the start.
    int64_t shownFrames() const { return shown.load(); }
    int64_t droppedFrames() const { return dropped.load(); }
    // Where playback stands (starting, playing, starved, paused, stopped); from any thread.
    PlaybackState playbackState() const { return pacer.state(); }
    // The pacer, to give it a master clock before the thread starts.
    PlaybackPacer& playbackPacer() { return pacer; }

    // Converts, scales and overlays the frame into the window picture and
    // marks the window as having a picture. A frame without a picture draws
    // nothing.
    void showFrame(Frame* frame);
    // Returns once the mode is no longer Pause (or a stop is asked for),
    // checking every 100 ms; the picture on screen says PAUSE meanwhile.
    void waitWhilePaused();

    FrameBuffer* const frameBuffer;
    DisplayWindow* const display;
    const int32_t maxLateFrames;
    // Called on this thread right after each frame reaches the picture, for
    // measurements that time what is shown; set before the thread starts.
    std::function<void(const Frame&)> onShown;

protected:
    void run() override;

private:
    // Draws strip, time, banner and the mode label, scaled to the picture.
    void drawOverlay(cv::Mat& picture, double frameTime);
    // The last frame shown again (after a resize, for a pause), or the
    // summary's waiting picture when none is to be shown.
    void redraw();
    void drawWaiting(cv::Mat& picture);
    // The picture must be drawn again: the area changed size, or the
    // sound's notice came or went.
    bool overlayOutdated() const;
    // Takes the oldest frame; false when the buffer holds none.
    bool takeFrame(Frame*& frame);
    void scaleInto(const Frame& frame, cv::Mat& picture);

    SharedControls& controls;
    std::atomic<bool> stopRequested{false};
    std::atomic<int64_t> shown{0};
    std::atomic<int64_t> dropped{0};
    std::unique_ptr<PacerClock> clock;
    PlaybackPacer pacer;
    // The frame on screen, kept to draw it again.
    std::unique_ptr<Frame> onScreen;
    uint64_t drawnSizeGeneration = 0;
    bool noticeDrawn = false;
    int64_t drawnNoticeUntil = 0;
    SwsContext* smoothScaler = nullptr;
    // Held by run for its whole body. Taking it after QThread::wait makes the
    // thread's last writes visible in a way the thread checker also sees.
    std::mutex running;
};

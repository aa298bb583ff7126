#pragma once

// Plays what the decoding thread puts into the playback buffer: takes frames
// oldest first, paces them at frameRate, converts each shown frame to colour,
// scales it into the DisplayWindow's picture with an overlay (time, banner,
// mode) and asks for a repaint. It reports the playing position in whole
// seconds through positionValue, and stops when asked to.

#include "PlaybackPacer.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/frame.h>
}

class DisplayWindow;
class Frame;
class FrameBuffer;
struct SharedControls;

// The overlay's banner: product name, the word Demo, and our credit.
inline constexpr char VISUALITATION_BANNER[] = "  Tessaro Demo by the team";

class ThreadVisualitation : public QThread {
public:
    ThreadVisualitation(FrameBuffer* frameBuffer, DisplayWindow* display, SharedControls& controls,
                        int32_t frameRate = 24, int32_t maxLateFrames = 1,
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

    // Converts, scales and overlays the frame into the window picture and
    // marks the window as having a picture. A frame without a picture draws
    // nothing. When the overlay says PAUSE, returns once the pause ends.
    void showFrame(Frame* frame);
    // Returns once the mode is no longer Pause (or a stop is asked for), checking every 100 ms.
    void waitWhilePaused();

    FrameBuffer* const frameBuffer;
    DisplayWindow* const display;
    const int32_t frameRate;
    const int32_t maxLateFrames;
    // The DisplayWindow's picture, taken afresh by every showFrame.
    AVFrame* windowPicture = nullptr;

protected:
    void run() override;

private:
    // Draws strip, time, banner and the mode label; true when the label is PAUSE.
    bool drawOverlay(cv::Mat& picture, double frameTime);
    // Takes the oldest frame; false when the buffer holds none.
    bool takeFrame(Frame*& frame);

    SharedControls& controls;
    std::atomic<bool> stopRequested{false};
    std::atomic<int64_t> shown{0};
    std::atomic<int64_t> dropped{0};
    std::unique_ptr<PacerClock> clock;
    PlaybackPacer pacer;
    // Held by run for its whole body. Taking it after QThread::wait makes the
    // thread's last writes visible in a way the thread checker also sees.
    std::mutex running;
};

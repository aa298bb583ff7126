#pragma once

// What the GUI thread shares with the worker threads. Every value here may be
// read from any thread; the GUI thread keeps the mirrors current from the
// widgets' own signals, and the workers drive widgets only through
// WidgetDriver, whose implementation posts the work to the GUI thread. The
// summary's settings travel apart, as one snapshot (the player's settings).

#include "Worker.h"

#include <atomic>
#include <chrono>
#include <cstdint>

// The steady clock in milliseconds, for times the threads tell each other.
inline int64_t steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The released state of a labelled slider. SliderLCD (a widget) derives from
// it; tests and headless callers hold plain instances.
struct SliderState {
    std::atomic<double> value{0.0};    // slider position / scale, as of the last release
    std::atomic<bool> changed{false};  // released at a new value since a reader last cleared it
    std::atomic<bool> dragging{false}; // the user holds the slider
};

// The player's mode, published as one value so that a reader never sees a
// change half made.
enum class PlayerMode : uint8_t { Play, Summary, Pause };

// Widget updates a worker thread asks for. Implementations must be callable
// from any thread and must not block on the GUI thread.
class WidgetDriver {
public:
    virtual ~WidgetDriver() = default;
    virtual void setPositionSlider(int seconds) = 0;
    // values is copied before the call returns.
    virtual void setTimelineData(const double* values, int count, double minimum, double maximum,
                                 double position, double mark1, double mark2) = 0;
    virtual void setTreeDepthStrip(double minimum, double maximum, double position, double mark1,
                                   double mark2) = 0;
    virtual void setTreeNodesStrip(double minimum, double maximum, double position, double mark1,
                                   double mark2) = 0;
};

struct SharedControls {
    // The position slider's released state (owned by the widget or by a test):
    // a release there is a seek.
    SliderState* positionCtl = nullptr;

    // Mirrors of widget state, kept current by the GUI thread.
    std::atomic<int32_t> positionSliderValue{0};
    std::atomic<int32_t> positionSliderMaximum{0};

    // Written by the mode buttons, read by the workers.
    std::atomic<PlayerMode> mode{PlayerMode::Play};
    // Playback position in whole seconds.
    std::atomic<int32_t> positionValue{0};
    // Time in the video of the frame on screen.
    std::atomic<double> shownTime{0.0};

    // What the decoding thread tells the picture's writer of the video: how
    // long a frame lasts, the shape of its pixels (width over height), and
    // whether Summary mode is still filling its tree before its first frame.
    std::atomic<double> framePeriod{1.0 / 25};
    // The sound's volume and mute as the window sets them, and until when
    // (steady clock, milliseconds) the picture's overlay says so.
    std::atomic<int32_t> volumePercent{100};
    std::atomic<bool> muted{false};
    std::atomic<int64_t> soundNoticeUntil{0};
    std::atomic<double> sampleAspect{1.0};
    std::atomic<bool> summaryFilling{false};
    // The speed of what the playback queue holds, as the decoding thread
    // placed it on the timeline.
    std::atomic<double> speed{1.0};
    // Frame steps while paused: the window adds one for the next picture and
    // takes one for the previous; the decoding thread takes them and gives
    // the screen one step per picture to show from the queue.
    std::atomic<int32_t> stepRequests{0};
    std::atomic<int32_t> screenSteps{0};
    // In Summary, segments to skip: on (positive) or back (negative).
    std::atomic<int32_t> segmentSkips{0};
    // A summary is being saved: its encoder holds a 1080p video's pictures
    // by the dozen, so the playback buffer keeps to half its bytes meanwhile.
    std::atomic<bool> saving{false};

    // Set by the window while it lives; null when no widget is to be driven.
    std::atomic<WidgetDriver*> driver{nullptr};
    // The decoding thread waits on wakeup when it has nothing to do, the
    // thread that plays the pictures on screenWakeup; whoever changes what
    // they wait for gives notice.
    Wakeup wakeup;
    Wakeup screenWakeup;

    bool playing() const { return mode.load() == PlayerMode::Play; }
    bool summarising() const { return mode.load() == PlayerMode::Summary; }
    bool paused() const { return mode.load() == PlayerMode::Pause; }
    void setMode(PlayerMode chosen) {
        mode = chosen;
        wakeup.notify();
        screenWakeup.notify();
    }
    // The overlay must change: a sound notice came, the picture was resized.
    void redrawScreen() { screenWakeup.notify(); }
};

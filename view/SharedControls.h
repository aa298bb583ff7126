#pragma once

// What the GUI thread shares with the worker threads. Every value here may be
// read from any thread; the GUI thread keeps the mirrors current from the
// widgets' own signals, and the workers drive widgets only through
// WidgetDriver, whose implementation posts the work to the GUI thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

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

// Lets a worker sleep until something it waits for may have changed: a
// control, a mode, the playback buffer, a request to stop. A notice given
// while nobody waits is kept for the next wait, so none is lost.
class Wakeup {
public:
    void notify() {
        {
            const std::lock_guard lock(mutex);
            ++given;
        }
        changed.notify_all();
    }
    // Returns at the first notice since the last return, or after timeout.
    void waitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, timeout, [this] { return given != taken; });
        taken = given;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t given = 0;
    uint64_t taken = 0;
};

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
    // Released values of the sliders (owned by the widgets or by a test).
    SliderState* positionCtl = nullptr;
    SliderState* targetLengthCtl = nullptr;
    SliderState* lengthWeightCtl = nullptr;
    SliderState* continuityWeightCtl = nullptr;
    SliderState* redundancyWeightCtl = nullptr;
    SliderState* activityWeightCtl = nullptr;
    SliderState* treeDepthCtl = nullptr;
    SliderState* treeNodesCtl = nullptr;

    // Mirrors of widget state, kept current by the GUI thread.
    std::atomic<int32_t> positionSliderValue{0};
    std::atomic<int32_t> positionSliderMaximum{0};
    std::atomic<int32_t> treeDepthPosition{60};
    std::atomic<int32_t> treeNodesPosition{500};
    std::atomic<bool> automaticControl{false};
    std::atomic<bool> avoidEmptyBuffer{false};
    std::atomic<bool> junkSegmentFilter{false};
    std::atomic<bool> shotAwareRanking{false};

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

    // Set by the window while it lives; null when no widget is to be driven.
    std::atomic<WidgetDriver*> driver{nullptr};
    // The decoding thread waits on it when it has nothing to do; whoever
    // changes what it waits for gives notice.
    Wakeup wakeup;

    bool playing() const { return mode.load() == PlayerMode::Play; }
    bool summarising() const { return mode.load() == PlayerMode::Summary; }
    bool paused() const { return mode.load() == PlayerMode::Pause; }
    void setMode(PlayerMode chosen) {
        mode = chosen;
        wakeup.notify();
    }
};

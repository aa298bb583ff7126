#pragma once

// What the GUI thread shares with the worker threads. Every value here may be
// read from any thread; the GUI thread keeps the mirrors current from the
// widgets' own signals, and the workers drive widgets only through
// WidgetDriver, whose implementation posts the work to the GUI thread.

#include <atomic>
#include <cstdint>

// The released state of a labelled slider. SliderLCD (a widget) derives from
// it; the engine and headless callers hold plain instances.
struct SliderState {
    std::atomic<double> value{0.0};    // slider position / scale, as of the last release
    std::atomic<bool> changed{false};  // released at a new value since a reader last cleared it
    std::atomic<bool> dragging{false}; // the user holds the slider
};

// What the user sets in the window's two group boxes. The defaults are where
// the window starts, and what a run without a window takes unless told.
struct SummarySettings {
    double target = 0.05; // target length, a fraction of the video
    double lengthWeight = 0.20;
    double continuityWeight = 0.10;
    double redundancyWeight = 0.25;
    double activityWeight = 0.05;
    int depth = 60;  // tree depth limit, 20-90
    int nodes = 500; // tree node limit, 100-5000
    bool junkFilter = false;
};

// The target length and the four weights the candidate ranking reads at the
// moment it computes.
struct SummaryWeights {
    const SliderState* targetLength = nullptr;
    const SliderState* lengthWeight = nullptr;
    const SliderState* continuityWeight = nullptr;
    const SliderState* redundancyWeight = nullptr;
    const SliderState* activityWeight = nullptr;
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
    // Released values of the sliders (owned by the widgets or by a headless caller).
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

    // Modes: written by the mode buttons, read by the workers.
    std::atomic<bool> playMode{false};
    std::atomic<bool> summaryMode{false};
    std::atomic<bool> pauseMode{false};
    // The decoding thread's own copies of the modes as it last noted them.
    std::atomic<bool> seenPlayMode{false};
    std::atomic<bool> seenSummaryMode{false};
    std::atomic<bool> seenPauseMode{false};
    // Playback position in whole seconds.
    std::atomic<int32_t> positionValue{0};

    WidgetDriver* driver = nullptr;

    SummaryWeights weights() const {
        return {targetLengthCtl, lengthWeightCtl, continuityWeightCtl, redundancyWeightCtl,
                activityWeightCtl};
    }
};

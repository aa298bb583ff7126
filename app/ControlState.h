#pragma once

// The one process-wide record shared by the GUI thread and the worker
// threads. The widget pointers are for the GUI thread only (set once by
// buildMainWindow, never changed afterwards); the worker threads use `shared`,
// whose values are safe to read and write from any thread.

#include "SharedControls.h"

class DisplayEvents;
class QCheckBox;
class QSlider;
class SliderLCD;

struct ControlState {
    SliderLCD* positionCtl = nullptr;
    QSlider* positionSlider = nullptr;
    DisplayEvents* timelineEvents = nullptr;
    SliderLCD* targetLengthCtl = nullptr;
    SliderLCD* lengthWeightCtl = nullptr;
    SliderLCD* continuityWeightCtl = nullptr;
    SliderLCD* redundancyWeightCtl = nullptr;
    SliderLCD* activityWeightCtl = nullptr;
    SliderLCD* treeDepthCtl = nullptr;
    SliderLCD* treeNodesCtl = nullptr;
    DisplayEvents* treeDepthEvents = nullptr;
    DisplayEvents* treeNodesEvents = nullptr;
    QCheckBox* automaticControlBox = nullptr;
    QCheckBox* avoidEmptyBufferBox = nullptr;
    QCheckBox* junkSegmentFilterBox = nullptr;

    // The modes, positionValue, the released slider states, the widget
    // mirrors and the driver that posts widget updates to the GUI thread.
    SharedControls shared;
};

// The process-wide instance.
ControlState& controlState();

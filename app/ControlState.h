#pragma once

// The one process-wide record shared by the GUI thread and the worker
// threads. The widget pointers are for the GUI thread only (set once by
// buildMainWindow, never changed afterwards); the worker threads use `core`,
// which is safe to use from any thread.

#include "PlayerCore.h"
#include "PlayerSettings.h"

class DisplayEvents;
class DisplayWindow;
class QCheckBox;
class QLabel;
class QSlider;
class QSpacerItem;
class QWidget;
class SliderLCD;

struct ControlState {
    DisplayWindow* displayWindow = nullptr;
    // Everything below the picture, hidden in full screen.
    QWidget* controlsPanel = nullptr;
    // Room right of the picture: what the panel below is wider than the
    // picture's 445 pixels, so that the picture keeps its size in the
    // default window and takes all the room the window gains.
    QSpacerItem* pictureGap = nullptr;
    int pictureGapWidth = 0;
    // The five time labels under the position slider.
    QLabel* tickLabels[5] = {};
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
    QCheckBox* shotAwareRankingBox = nullptr;
    QCheckBox* wholeSpeechBox = nullptr;
    // The sound: below the mode buttons.
    QSlider* volumeSlider = nullptr;
    QCheckBox* muteBox = nullptr;

    // The player's commands, its published state, and the driver that posts
    // the loop's drawings to the GUI thread.
    PlayerCore core;
    // The speed chosen (GUI thread; published with the settings).
    double speed = 1.0;
    // The summary's settings and the options, as the window last published them.
    SettingsBoard settings;
};

// The process-wide instance.
ControlState& controlState();

#pragma once

// The one process-wide record shared by the GUI thread and the worker
// threads. The widget pointers are for the GUI thread only (set once by
// buildMainWindow, never changed afterwards); the worker threads use `core`,
// which is safe to use from any thread.

#include "PlayerCore.h"
#include "PlayerSettings.h"

#include <functional>

class ButtonActivation;
class DisplayEvents;
class DisplayWindow;
class QBoxLayout;
class QCheckBox;
class QLabel;
class QSlider;
class QWidget;
class SliderLCD;

struct ControlState {
    DisplayWindow* displayWindow = nullptr;
    // The picture over the timeline, the position slider and its scale;
    // the margins at its sides keep the picture at its first width while
    // the panels below are wider (see WindowFit).
    QBoxLayout* pictureColumn = nullptr;
    // The timeline, the slider and its scale: hidden in full screen.
    QWidget* positionPanel = nullptr;
    // The buttons, the sound and the settings: hidden in full screen.
    QWidget* controlsPanel = nullptr;
    // The two panels of settings, and their layout: one above the other, or
    // side by side on a short screen. The user may hide them.
    QWidget* settingsPanel = nullptr;
    QBoxLayout* settingsLayout = nullptr;
    // Play, Summary and Pause.
    ButtonActivation* modeButtons[3] = {};
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
    // Told on the GUI thread when what the window shows of the state changes
    // (the mode on screen, the pause, the end), after the buttons follow it.
    std::function<void(const PlayerState&)> onShownState;
};

// The process-wide instance.
ControlState& controlState();

#pragma once

// How the window meets the screen it opens on. Where the screen has room,
// the window takes the size its layout asks for: the picture, the position,
// the buttons, then the two panels of settings one above the other. On a
// shorter screen the panels go side by side and the window opens at the
// room the screen has; the picture takes whatever room is left, and the
// user may hide the panels to give it more. GUI thread.

#include <QSize>

class QWidget;
struct ControlState;

// Whether a window whose layout asks for `laidOut` must fold its panels to
// open within `room` (the screen's room less the window's frame).
bool mustFold(QSize laidOut, QSize room);

// Folds the panels when the window would not fit its screen, and sizes the
// window within the screen. Before the window is first shown.
void fitToScreen(QWidget* window, ControlState& state);

// The panels side by side (true) or one above the other.
void setSettingsFolded(ControlState& state, bool folded);
bool settingsFolded(const ControlState& state);

// Keeps the picture at its first width beside panels wider than it, in the
// window as first laid out; none in full screen or with the panels folded.
void keepPictureWidth(ControlState& state);

// Shows or hides the panels of settings; the picture takes their room.
void setSettingsShown(ControlState& state, bool shown);
bool settingsShown(const ControlState& state);

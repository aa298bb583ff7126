#pragma once

class DisplayWindow;
class QWidget;

// Builds the player's window on `mainWindow` around `displayWindow` for a
// video of `videoSeconds`, fills controlState() (widget pointers, released
// slider states, widget mirrors, the queued widget driver), switches play mode
// on and shows the window. Runs on the GUI thread before any worker starts.
void buildMainWindow(QWidget* mainWindow, DisplayWindow* displayWindow, double videoSeconds);

// Gives the position slider and its time labels the range of a video of
// `videoSeconds`. GUI thread.
void setVideoDuration(double videoSeconds);

// Plays at `speed` from the picture on screen on. GUI thread.
void setPlaySpeed(double speed);

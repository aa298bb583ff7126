#pragma once

// What the player's window does besides its controls: keys, full screen, a
// double click on the picture, and opening another video by dropping a file
// on the window or through a file dialog. Lives on the GUI thread.

#include "SharedControls.h"

#include <QObject>
#include <QString>

class QWidget;

// What a key does in the player's window.
enum class KeyAction {
    None,
    TogglePause,     // Space: Pause, or back to the mode that was paused
    Summary,         // S
    Play,            // P
    Back5,           // Left
    Forward5,        // Right
    Forward60,       // Up
    Back60,          // Down
    ToStart,         // Home
    FullScreen,      // F: in and out
    LeaveFullScreen, // Escape
    Close,           // Q
    Open,            // Ctrl+O
    Mute,            // M
    Louder,          // + (or =)
    Quieter,         // -
};

KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers);

// The keys, for the picture's tooltip and the README.
QString keyHelp();

class WindowControl : public QObject {
    Q_OBJECT

public:
    // Watches the window and its picture; both must outlive this object.
    WindowControl(QWidget* window, QWidget* picture, SharedControls& controls);

    void perform(KeyAction action);
    bool fullScreen() const { return inFullScreen; }

signals:
    // A video to open instead of the one playing.
    void openRequested(const QString& path);
    // The sound's volume (0 to 1) or mute was changed by a key.
    void volumeStep(double change);
    void muteToggled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void seekBy(int seconds);
    void setFullScreen(bool on);

    QWidget* const window;
    QWidget* const picture;
    SharedControls& controls;
    PlayerMode pausedMode = PlayerMode::Play;
    bool inFullScreen = false;
};

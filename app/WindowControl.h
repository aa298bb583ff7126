#pragma once

// What the player's window does besides its controls: keys, full screen, a
// double click on the picture, its context menu, and opening another video by dropping a file
// on the window or through a file dialog. Lives on the GUI thread.

#include "PlayerCore.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QMenu;
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
    Slower,          // [
    Faster,          // ]
    NormalSpeed,     // Backspace
    NextPicture,     // . in a pause
    PreviousPicture, // , in a pause
    Screenshot,      // Ctrl+Shift+S
    CopyPicture,     // Ctrl+C
    SaveSummary,     // Ctrl+S
    ToggleControls,  // C: the panels of settings shown or hidden
    NextVideo,       // Page Down: the next video of the list
    PreviousVideo,   // Page Up: the one before
    OpenFolder,      // Ctrl+Shift+O: a folder's videos
    ToggleSubtitles, // V: the subtitles shown or hidden
};

KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers);

// The keys, for the picture's tooltip and the README.
QString keyHelp();

// Asks for a video to open, in a file dialog over `parent` (none: on its
// own); empty when the user chose none.
QString chooseVideo(QWidget* parent);

// The speeds that [ and ] step through, and the one a step from `speed`
// reaches (direction +1 or -1); a speed between two steps goes to the next.
inline constexpr double kSpeeds[] = {0.5, 0.75, 1.0, 1.25, 1.5, 2.0};
double steppedSpeed(double speed, int direction);

class WindowControl : public QObject {
    Q_OBJECT

public:
    // Watches the window and its picture; both must outlive this object.
    WindowControl(QWidget* window, QWidget* picture, PlayerCore& core);

    void perform(KeyAction action);
    // The videos the context menu offers to open again, newest first.
    std::function<QStringList()> recentVideos;
    // Whether the list has a video on (+1) or back (-1), for the menu.
    std::function<bool(int)> videoThere;
    // Adds the menus of the video's tracks to the context menu.
    std::function<void(QMenu*)> addTrackMenus;
    bool fullScreen() const { return inFullScreen; }
    // Goes to `seconds` in the video (within its length); the slider shows it at once.
    void seekTo(double seconds);
    // In Summary, to the start of the next (+1) or previous (-1) kept segment.
    void skipSegment(int direction);
    // The mode playing, or the one a pause holds.
    PlayerMode playingMode() const;

signals:
    // A video to open instead of the one playing.
    void openRequested(const QString& path);
    // Several videos, or a folder of them, to play one after the other
    // instead of the one playing.
    void openListRequested(const QStringList& paths);
    // The next (+1) or previous (-1) video of the list.
    void videoStepRequested(int direction);
    // The sound's volume (0 to 1) or mute was changed by a key.
    void volumeStep(double change);
    void muteToggled();
    // The speed chosen by a key.
    void speedChosen(double speed);
    // The picture on screen to a file, or to the clipboard.
    void screenshotRequested();
    void copyRequested();
    // The summary to a file (Ctrl+S, or the picture's context menu).
    void saveRequested();
    // The panels of settings were shown or hidden.
    void settingsShownChanged(bool shown);
    // V: the subtitles to be shown or hidden.
    void subtitlesToggled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void seekBy(int seconds);
    void step(int pictures);
    void setFullScreen(bool on);
    void toggleSettings();
    void openChosen();
    void openFolder();
    // The menu of every action, at `at` on the screen.
    void showMenu(const QPoint& at);
    // The wheel over the picture (the volume) or the timeline (a seek).
    bool wheel(QObject* watched, QEvent* event);

    QWidget* const window;
    QWidget* const picture;
    PlayerCore& core;
    bool inFullScreen = false;
    int wheelEighths = 0;
};

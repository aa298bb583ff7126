#pragma once

// The play list in the running player: opening one video or several (a
// folder stands for its videos), the next one at the end of one, the keys'
// and the media controls' next and previous, and a notice for each video
// that cannot be opened and is passed over. GUI thread.

#include "Mpris.h"
#include "PlayList.h"
#include "PlayerCore.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string>

class DisplayWindow;
struct ControlState;
class NoticeTurns;
class QWidget;
class WindowControl;

// Nothing when `path` opens as a video (its length in *seconds); else the
// reason, said on the console as at start-up ("cannot open"), `fallback`
// standing for one the file itself does not give.
std::optional<QString> probeOrSayWhy(const std::string& path, double* seconds,
                                     const QString& fallback);

// "Cannot open film.mp4: REASON", as the picture says it.
QString cannotOpenNotice(const std::string& path, const QString& reason);

class ListPlayback {
public:
    // Puts the video at `path` (of `seconds`) on screen in `mode`, in place
    // of the one playing, which was `finished` when it played to its end
    // and the list went on.
    using SwitchTo = std::function<void(const std::string& path, double seconds, PlayerMode mode,
                                        bool finished)>;

    ListPlayback(PlayList list, PlayerCore& core, QWidget* window, DisplayWindow* display,
                 NoticeTurns& notices);
    void setSwitch(SwitchTo switching) { switchTo = std::move(switching); }

    // One video in place of the list, as ever: one that does not open
    // leaves the video playing and the list as they were.
    void openOne(const QString& path);
    // Several in place of the list, from the first that opens; none: as
    // for one.
    void openSeveral(const QStringList& paths);
    // To the video on (+1) or back (-1), passing over those that do not
    // open, in the mode playing.
    void step(int direction, bool finished = false);
    // At the end of a video (or its summary), the next one in the same mode.
    void follow(const PlayerState& now);
    // What the media controls' Next (+1) or Previous (-1) does now, and doing it.
    MediaSkip mediaSkipNow(int direction) const;
    void skipAsMediaControls(int direction, WindowControl& control);

    bool has(int direction) const { return list.has(direction); }
    QString place() const { return QString::fromStdString(list.place()); }

private:
    bool opens(const std::string& path, double* seconds);

    PlayList list;
    PlayerCore& core;
    QWidget* const window;
    DisplayWindow* const display;
    NoticeTurns& notices;
    SwitchTo switchTo;
    // The end of the video playing has been followed (or found nothing to follow).
    bool endFollowed = false;
};

// What the desktop's media keys and controls do: each what the window does,
// Next and Previous through the list.
MprisActions mediaControls(WindowControl& control, ListPlayback& list, ControlState& state,
                           QWidget& window);

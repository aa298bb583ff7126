#pragma once

// What the window shows of the player's state besides its widgets: the
// title, the notice at the end, and notices that take turns on the picture.
// GUI thread.

#include "PlayerState.h"

#include <QString>

#include <deque>
#include <string>
#include <utility>

class DisplayWindow;
class QWidget;

// "Tessaro — film.mp4", its place in a list ("film.mp4 (3/12)"), and what
// it is doing when that is not plain playing.
QString titleFor(const std::string& path, const PlayerState& now, const QString& place = {});

// The title follows the state; at the end the picture says so (for a video
// cut short, where its data ends) until it plays again.
class StateOnScreen {
public:
    StateOnScreen(QWidget* window, DisplayWindow* picture) : window(window), picture(picture) {}
    void show(const std::string& path, const PlayerState& now);
    // The video's place in the list, for the title ("3/12"); empty: none.
    void setPlace(const QString& shown) { place = shown; }

private:
    QWidget* const window;
    DisplayWindow* const picture;
    QString endNotice; // the one on the picture; empty: none
    QString place;
};

// Notices take turns on the picture, each for its time, so that none of
// those that come together (at start-up: the memory's, the resume, the
// session bus) hides another; the first shows once the event loop runs.
class NoticeTurns {
public:
    explicit NoticeTurns(DisplayWindow* window) : window(window) {}
    void show(const QString& text, int milliseconds);

private:
    void next();

    DisplayWindow* const window;
    std::deque<std::pair<QString, int>> waiting;
};


#include "WindowFit.h"

#include "ControlState.h"
#include "DisplayWindow.h"

#include <QBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {
// What a window manager's frame and title take, beside the window's own area.
constexpr int kFrameWidth = 12;
constexpr int kFrameHeight = 44;
// The picture's least height once the window has to fit a short screen:
// enough for the overlay's strip and a picture under it.
constexpr int kFoldedPictureHeight = 180;

QScreen* screenOf(QWidget* window) {
    QScreen* screen = window->screen();
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}
} // namespace

bool mustFold(QSize laidOut, QSize room) {
    return laidOut.height() > room.height() || laidOut.width() > room.width();
}

// The layouts from the panels of settings up to the window's ask their
// items again (a layout remembers what its items asked for).
void askAgain(ControlState& state) {
    for (QWidget* panel : {state.settingsPanel, state.controlsPanel}) {
        panel->layout()->invalidate();
        panel->updateGeometry();
    }
    QWidget* window = state.controlsPanel->window();
    window->layout()->invalidate();
    window->updateGeometry();
}

void setSettingsFolded(ControlState& state, bool folded) {
    state.settingsLayout->setDirection(folded ? QBoxLayout::LeftToRight
                                              : QBoxLayout::TopToBottom);
    DisplayWindow* picture = state.displayWindow;
    picture->setMinimumHeight(folded ? kFoldedPictureHeight : picture->startHeight());
    keepPictureWidth(state);
    askAgain(state);
}

void keepPictureWidth(ControlState& state) {
    // What the panels below are wider than the picture's first width, half
    // on each side: the window as first laid out shows the picture at that
    // width, and a wider window gives all it gains to the picture.
    QWidget* controls = state.controlsPanel;
    const int gap = settingsFolded(state) || !controls->isVisibleTo(controls->window())
                        ? 0
                        : std::max(0, state.controlsPanel->sizeHint().width() -
                                          state.displayWindow->startWidth());
    state.pictureColumn->setContentsMargins(gap / 2, 0, gap - gap / 2, 0);
}

bool settingsFolded(const ControlState& state) {
    return state.settingsLayout->direction() == QBoxLayout::LeftToRight;
}

void setSettingsShown(ControlState& state, bool shown) {
    state.settingsPanel->setVisible(shown);
    askAgain(state);
    keepPictureWidth(state);
}

bool settingsShown(const ControlState& state) {
    // Asked before the window is first shown too.
    return state.settingsPanel->isVisibleTo(state.settingsPanel->window());
}

void fitToScreen(QWidget* window, ControlState& state) {
    QScreen* screen = screenOf(window);
    if (screen == nullptr)
        return;
    const QSize room =
        screen->availableGeometry().size() - QSize(kFrameWidth, kFrameHeight);
    keepPictureWidth(state);
    window->layout()->activate();
    const QSize laidOut = window->sizeHint();
    if (!mustFold(laidOut, room))
        return;
    setSettingsFolded(state, true);
    window->layout()->activate();
    // The picture at its usual height where that fits, less where it does not.
    const QSize folded = window->sizeHint().expandedTo(window->minimumSizeHint());
    const QSize usual(folded.width(), folded.height() + state.displayWindow->startHeight() -
                                          kFoldedPictureHeight);
    window->resize(usual.boundedTo(room).expandedTo(window->minimumSizeHint()));
}

#pragma once

// Driving the real player from its own GUI thread, as a user would.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QThread>
#include <QWidget>

#include <functional>

// The player offscreen on a desktop-sized screen, where its window opens as
// it is laid out (on the plain offscreen screen, 800x600, it would fold its
// settings and show a larger picture). Before the QApplication is made.
inline void useDesktopOffscreen() {
    qputenv("QT_QPA_PLATFORM",
            "offscreen:configfile=" TESSARO_SOURCE_DIR "/tests/fixtures/screens/1600x1000.json");
}

// Runs the event loop for the given time, or until done holds. False when
// the window was closed meanwhile (Ctrl-C closes it): the run is over.
inline bool runEventsFor(
    QWidget* window, int milliseconds, const std::function<bool()>& done = [] { return false; }) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds && !done()) {
        if (!window->isVisible())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return window->isVisible();
}

inline QAbstractButton* buttonNamed(QWidget* window, const char* text) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->text() == QLatin1String(text))
            return button;
    return nullptr;
}

inline void press(QWidget* window, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &event);
}

// The real window and threads on a fixture video, driven through the widgets
// from the GUI thread as a user would: Play, Summary, Pause, a seek, close.

#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "Player.h"
#include "SliderLCD.h"
#include "TestMedia.h"
#include "VideoReader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

namespace {

QAbstractButton* buttonNamed(QWidget* window, const QString& text) {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Runs the event loop until the condition holds or the wait gives up.
bool waitFor(const std::function<bool()>& condition, int milliseconds = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void pause(int milliseconds) {
    waitFor([] { return false; }, milliseconds);
}

TEST(EndToEnd, PlaySummaryPauseSeekAndClose) {
    int argc = 1;
    char name[] = "tessaro";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    const std::string video = testMedia(kScenes);
    double seconds = 0.0;
    {
        VideoReader probe(video.c_str());
        ASSERT_EQ(probe.status, VideoReader::OK);
        seconds = probe.timestampToSeconds(probe.getVideoLength());
    }

    ControlState& state = controlState();
    SharedControls& shared = state.shared;
    bool played = false, summarised = false, paused = false, sought = false;
    int pausedPosition = -1;

    QTimer::singleShot(0, [&] {
        QWidget* window = state.positionSlider->window();
        DisplayWindow* display = window->findChild<DisplayWindow*>();
        ASSERT_NE(display, nullptr);

        // Play: pictures are shown and the position moves on.
        played = waitFor([&] { return display->pictureReady && shared.positionValue >= 2; });
        EXPECT_TRUE(played);
        EXPECT_GE(state.positionSlider->value(), 1);

        // Summary: kept fragments mark their start on the timeline.
        buttonNamed(window, "Summary")->click();
        EXPECT_EQ(shared.mode, PlayerMode::Summary);
        summarised = waitFor([&] { return state.timelineEvents->count > 1; });
        EXPECT_TRUE(summarised);

        // Pause holds the position.
        buttonNamed(window, "Pause")->click();
        EXPECT_EQ(shared.mode, PlayerMode::Pause);
        pause(300);
        pausedPosition = shared.positionValue;
        pause(700);
        paused = shared.positionValue == pausedPosition;
        EXPECT_TRUE(paused);

        // A seek: the position slider released at 7 s, then play from there.
        buttonNamed(window, "Play")->click();
        state.positionSlider->setValue(7);
        emit state.positionSlider->sliderReleased();
        sought = waitFor([&] { return shared.positionValue >= 7; });
        EXPECT_TRUE(sought);

        window->close();
    });

    EXPECT_EQ(runPlayer(application, video.c_str(), seconds), 0);
    EXPECT_TRUE(played && summarised && paused && sought);
}

} // namespace

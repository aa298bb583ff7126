// The real window and threads on fixture videos, driven from the GUI thread
// as a user would: the buttons, the keys, a larger window, another video
// dropped on it, subtitles shown and hidden, and closing it with Q.

#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "Player.h"
#include "TestMedia.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QUrl>
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

// Runs the event loop until the condition holds (a hang is the runner's to catch).
void waitFor(const std::function<bool()>& condition) {
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

void runFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    waitFor([&] { return timer.elapsed() >= milliseconds; });
}

void press(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(window, &event);
}

void dropOn(QWidget* window, const std::string& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
}

// Where the picture shows in a grab of the picture area: the first and last
// pixels that are not black along a column and a row clear of the overlay,
// inside the widget's three-pixel frame.
QRect pictureBox(const QImage& image) {
    const auto lit = [&image](int x, int y) {
        const QRgb p = image.pixel(x, y);
        return qRed(p) >= 8 || qGreen(p) >= 8 || qBlue(p) >= 8;
    };
    const int w = image.width(), h = image.height(), x = w * 3 / 4, y = h * 3 / 4;
    int top = 3, bottom = h - 4, left = 3, right = w - 4;
    while (top < h - 3 && !lit(x, top))
        ++top;
    while (bottom > top && !lit(x, bottom))
        --bottom;
    while (left < w - 3 && !lit(left, y))
        ++left;
    while (right > left && !lit(right, y))
        --right;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

TEST(EndToEnd, ButtonsKeysAResizeAndADroppedVideo) {
    int argc = 1;
    char name[] = "tessaro";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    const std::string video = testMedia(kScenes); // 4:3, 10 s
    double seconds = 0.0;
    ASSERT_TRUE(probeVideo(video.c_str(), &seconds));
    ControlState& state = controlState();
    const auto now = [&state] { return state.core.state.snapshot(); };
    bool finished = false;

    QTimer::singleShot(0, [&] {
        QWidget* window = state.positionSlider->window();
        DisplayWindow* display = state.displayWindow;
        EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("scenes.mp4")));

        // Play: pictures come and the position moves on. A 4:3 picture fills
        // the default area: no black bar below the overlay.
        waitFor([&] { return display->pictureReady && static_cast<int>(now().position) >= 2; });
        EXPECT_EQ(pictureBox(display->grab().toImage()).topLeft(), QPoint(3, 3));

        // Summary: kept fragments mark their start on the timeline.
        buttonNamed(window, "Summary")->click();
        EXPECT_EQ(now().shownMode(), PlayerMode::Summary);
        waitFor([&] { return state.timelineEvents->count > 1; });

        // Space pauses and holds the position, and again goes back to Summary.
        press(window, Qt::Key_Space);
        EXPECT_EQ(now().shownMode(), PlayerMode::Pause);
        runFor(300);
        const int held = static_cast<int>(now().position);
        runFor(700);
        EXPECT_EQ(static_cast<int>(now().position), held);
        press(window, Qt::Key_Space);
        EXPECT_EQ(now().shownMode(), PlayerMode::Summary);

        // P plays; Home goes back to the start; Right seeks 5 s on.
        press(window, Qt::Key_P);
        EXPECT_EQ(now().shownMode(), PlayerMode::Play);
        press(window, Qt::Key_Home);
        waitFor([&] { return static_cast<int>(now().position) == 0; });
        press(window, Qt::Key_Right);
        waitFor([&] { return static_cast<int>(now().position) >= 5; });

        // F: the picture alone; Esc: back.
        press(window, Qt::Key_F);
        EXPECT_TRUE(window->isFullScreen());
        EXPECT_FALSE(state.controlsPanel->isVisible());
        press(window, Qt::Key_Escape);
        EXPECT_FALSE(window->isFullScreen());
        EXPECT_TRUE(state.controlsPanel->isVisible());

        // Past the end: the end is shown, and Space plays it again from the start.
        press(window, Qt::Key_Up);
        waitFor([&] { return now().ended; });
        runFor(100);
        EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("Ended")));
        EXPECT_TRUE(buttonNamed(window, "Play")->isChecked());
        press(window, Qt::Key_Space);
        waitFor([&] { return !now().ended && now().position < 5; });
        EXPECT_EQ(now().shownMode(), PlayerMode::Play);

        // Another video dropped on the window: a 16:9 one, from its start.
        dropOn(window, testMedia(kH264_720p));
        EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("h264_720p.mp4")));
        EXPECT_EQ(state.positionSlider->maximum(), 20);
        EXPECT_EQ(state.tickLabels[4]->text(), QStringLiteral("0:20"));
        waitFor([&] { return now().position > 0.5; });
        // Bars above and below (250 of 335 rows), none at the sides.
        EXPECT_EQ(pictureBox(display->grab().toImage()), QRect(QPoint(3, 42), QPoint(441, 291)));

        // A larger window gives a larger picture of the same proportions.
        window->resize(1280, 1000);
        waitFor([&] { return display->width > 445 && display->pictureIsNew(); });
        runFor(300);
        const QRect large = pictureBox(display->grab().toImage());
        EXPECT_GT(large.width(), 600);
        EXPECT_NEAR(static_cast<double>(large.width()) / large.height(), 16.0 / 9, 0.05)
            << large.width() << "x" << large.height();

        // A video with a marked subtitle stream: its lines show as they are
        // read; V hides them and shows them again, in Summary too.
        dropOn(window, testMedia(kSubsScenes));
        EXPECT_TRUE(now().subtitlesShown);
        waitFor([&] { return now().position > 1.0; });
        press(window, Qt::Key_V);
        EXPECT_FALSE(now().subtitlesShown);
        press(window, Qt::Key_S);
        press(window, Qt::Key_V);
        EXPECT_TRUE(now().subtitlesShown);
        runFor(500);

        finished = true;
        press(window, Qt::Key_Q);
    });

    EXPECT_EQ(runPlayer(application, video.c_str(), seconds), 0);
    EXPECT_TRUE(finished);
}

} // namespace

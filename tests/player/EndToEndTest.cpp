// The real window and threads on fixture videos, driven from the GUI thread
// as a user would: the buttons, the keys, a larger window, another video
// dropped on it, and closing it with Q.

#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "Player.h"
#include "SliderLCD.h"
#include "TestMedia.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
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

void press(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(window, &event);
}

bool isBlack(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return qRed(pixel) < 8 && qGreen(pixel) < 8 && qBlue(pixel) < 8;
}

// Where the picture shows in the picture area (a grab of it): what is not
// black along a column and a row clear of the overlay and of the widget's
// three-pixel frame.
QRect pictureBox(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    const int x = w * 3 / 4;
    const int y = h * 3 / 4;
    int top = 3;
    while (top < h - 3 && isBlack(image, x, top))
        ++top;
    int bottom = h - 4;
    while (bottom > top && isBlack(image, x, bottom))
        --bottom;
    int left = 3;
    while (left < w - 3 && isBlack(image, left, y))
        ++left;
    int right = w - 4;
    while (right > left && isBlack(image, right, y))
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
    SharedControls& shared = state.shared;
    bool finished = false;

    QTimer::singleShot(0, [&] {
        QWidget* window = state.positionSlider->window();
        DisplayWindow* display = state.displayWindow;
        EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("scenes.mp4")));

        // Play: pictures come and the position moves on. A 4:3 picture fills
        // the default area: no black bar below the overlay.
        ASSERT_TRUE(waitFor([&] { return display->pictureReady && shared.positionValue >= 2; }));
        EXPECT_EQ(display->size(), QSize(445, 335));
        const QRect full = pictureBox(display->grab().toImage());
        EXPECT_EQ(full.top(), 3);
        EXPECT_EQ(full.left(), 3);

        // Summary: kept fragments mark their start on the timeline.
        buttonNamed(window, "Summary")->click();
        EXPECT_EQ(shared.mode, PlayerMode::Summary);
        EXPECT_TRUE(waitFor([&] { return state.timelineEvents->count > 1; }));

        // Space pauses and holds the position, and again goes back to Summary.
        press(window, Qt::Key_Space);
        EXPECT_EQ(shared.mode, PlayerMode::Pause);
        waitFor([] { return false; }, 300);
        const int held = shared.positionValue;
        waitFor([] { return false; }, 700);
        EXPECT_EQ(shared.positionValue, held);
        press(window, Qt::Key_Space);
        EXPECT_EQ(shared.mode, PlayerMode::Summary);

        // P plays; Home goes back to the start; Right seeks 5 s on.
        press(window, Qt::Key_P);
        EXPECT_EQ(shared.mode, PlayerMode::Play);
        press(window, Qt::Key_Home);
        EXPECT_TRUE(waitFor([&] { return shared.positionValue == 0; }));
        press(window, Qt::Key_Right);
        EXPECT_TRUE(waitFor([&] { return shared.positionValue >= 5; }));

        // F: the picture alone; Esc: back.
        press(window, Qt::Key_F);
        EXPECT_TRUE(window->isFullScreen());
        EXPECT_FALSE(state.controlsPanel->isVisible());
        press(window, Qt::Key_Escape);
        EXPECT_FALSE(window->isFullScreen());
        EXPECT_TRUE(state.controlsPanel->isVisible());

        // Another video dropped on the window: a 16:9 one, from its start.
        const std::string wide = testMedia(kH264_720p);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(wide))});
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
        EXPECT_TRUE(window->windowTitle().contains(QStringLiteral("h264_720p.mp4")));
        EXPECT_EQ(state.positionSlider->maximum(), 20);
        EXPECT_TRUE(waitFor([&] { return shared.shownTime > 0.5; }));
        // Bars above and below (250 of 335 rows), none at the sides.
        EXPECT_EQ(pictureBox(display->grab().toImage()),
                  QRect(QPoint(3, 42), QPoint(441, 291)));

        // A larger window gives a larger picture of the same proportions.
        window->resize(1280, 1000);
        EXPECT_TRUE(waitFor([&] { return display->width > 445 && display->pictureIsNew(); }));
        waitFor([] { return false; }, 300);
        const QRect large = pictureBox(display->grab().toImage());
        EXPECT_GT(large.width(), 600);
        EXPECT_NEAR(static_cast<double>(large.width()) / large.height(), 16.0 / 9, 0.05)
            << large.width() << "x" << large.height();

        finished = true;
        press(window, Qt::Key_Q);
    });

    EXPECT_EQ(runPlayer(application, video.c_str(), seconds), 0);
    EXPECT_TRUE(finished);
}

} // namespace

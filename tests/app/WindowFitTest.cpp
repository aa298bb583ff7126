// Run once for each screen in tests/app/CMakeLists.txt: the window opens
// within the screen's room, nothing in it is cut off, the picture is its
// largest part, and the settings are folded side by side only where the
// screen is too short for them one above the other.

#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "MainWindow.h"
#include "QtTestApplication.h"
#include "WindowFit.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QSlider>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

TEST(WindowFit, OpensWithinTheScreenWithThePictureTheLargestPart) {
    const char* expected = std::getenv("TESSARO_EXPECT_FOLDED");
    ASSERT_NE(expected, nullptr) << "run by ctest with a screen of its own";
    auto window = std::make_unique<QWidget>();
    auto* display = new DisplayWindow("VIDEO", 445, 335);
    buildMainWindow(window.get(), display, 4000.0);
    QApplication::processEvents();
    ControlState& state = controlState();
    const QRect room = window->screen()->availableGeometry();
    SCOPED_TRACE(QStringLiteral("%1x%2").arg(room.width()).arg(room.height()).toStdString());

    EXPECT_EQ(settingsFolded(state), std::string(expected) == "1");
    EXPECT_LE(window->width(), room.width());
    // Room for a window manager's title bar too.
    EXPECT_LE(window->height() + 40, room.height());
    const QRect inside = window->rect();
    const QList<QWidget*> parts = window->findChildren<QWidget*>();
    for (const QWidget* part : parts) {
        if (!part->isVisible() || part->isWindow())
            continue;
        const QRect at(part->mapTo(window.get(), QPoint(0, 0)), part->size());
        EXPECT_TRUE(inside.contains(at)) << part->metaObject()->className() << " "
                                         << part->objectName().toStdString() << " at " << at.x()
                                         << "," << at.y() << " " << at.width() << "x"
                                         << at.height();
        if (part != display && !qobject_cast<const QGroupBox*>(part) &&
            part != state.controlsPanel && part != state.settingsPanel) {
            EXPECT_LT(part->width() * part->height(),
                      display->QWidget::width() * display->QWidget::height())
                << part->metaObject()->className();
        }
    }
    // The timeline and the slider under the picture, as wide as it is.
    EXPECT_EQ(state.timelineEvents->QWidget::width(), display->QWidget::width());
    EXPECT_EQ(state.positionSlider->width(), display->QWidget::width());
    EXPECT_EQ(state.tickLabels[4]->text(), QStringLiteral("1:06:40"));

    // Larger, the picture takes the room both ways; without the settings, more.
    const QSize before = display->size();
    window->resize(window->width() + 200, window->height() + 100);
    QApplication::processEvents();
    EXPECT_EQ(display->size(), before + QSize(200, 100));
    EXPECT_EQ(state.timelineEvents->QWidget::width(), display->QWidget::width());
    setSettingsShown(state, false);
    QApplication::processEvents();
    EXPECT_GT(display->QWidget::height(), before.height() + 100);
}

} // namespace

#include "ButtonActivation.h"
#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "MainWindow.h"
#include "WindowControl.h"
#include "QtTestApplication.h"
#include "SliderLCD.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Window : public ::testing::Test {
protected:
    void build(double seconds) {
        window = std::make_unique<QWidget>();
        display = new DisplayWindow("VIDEO", 445, 335);
        buildMainWindow(window.get(), display, seconds);
    }

    void SetUp() override { build(100.9); }

    QGroupBox* groupBoxAt(int column) const {
        return window->findChildren<QGroupBox*>().at(column);
    }
    QStringList tickTexts() const {
        QStringList texts;
        for (QLabel* label : state.tickLabels)
            texts << label->text();
        return texts;
    }
    ButtonActivation* buttonNamed(const char* text) const {
        for (auto* button : window->findChildren<ButtonActivation*>()) {
            if (button->text() == QLatin1String(text)) {
                return button;
            }
        }
        return nullptr;
    }

    ControlState& state = controlState();
    std::unique_ptr<QWidget> window;
    DisplayWindow* display = nullptr;
};

TEST_F(Window, ThePositionRangeAndTickLabelsFollowTheVideosLength) {
    struct Case {
        double seconds;
        int maximum;
        QStringList ticks;
    };
    const Case cases[] = {
        {100.9, 100, {" 0  ", "  25", "  50", "  75", " 100"}},
        {0.0, 0, {" 0  ", "   0", "   0", "   0", "   0"}},
        {40000.7, 40000, {" 0  ", "10000", "20000", "30000", "40000"}},
        {-3.0, 0, {" 0  ", "   0", "   0", "   0", "   0"}},
    };
    for (const Case& c : cases) {
        setVideoDuration(c.seconds); // as when another video is opened
        EXPECT_EQ(state.positionSlider->maximum(), c.maximum) << c.seconds;
        EXPECT_EQ(tickTexts(), c.ticks) << c.seconds;
    }
}

TEST_F(Window, SharedControlsPointAtTheWidgetsAndMirrorThem) {
    SharedControls& shared = state.shared;
    EXPECT_EQ(shared.positionCtl, state.positionCtl);
    EXPECT_EQ(shared.treeDepthCtl, state.treeDepthCtl);
    EXPECT_EQ(shared.treeNodesCtl, state.treeNodesCtl);
    EXPECT_NE(shared.driver.load(), nullptr);
    EXPECT_EQ(shared.positionSliderValue, 0);
    EXPECT_EQ(shared.positionSliderMaximum, 100);
    EXPECT_EQ(shared.treeDepthPosition, 60);
    EXPECT_EQ(shared.treeNodesPosition, 500);
    EXPECT_FALSE(shared.automaticControl);

    state.treeDepthCtl->slider->setValue(75);
    state.treeNodesCtl->slider->setValue(1200);
    state.positionSlider->setValue(33);
    state.automaticControlBox->click();
    state.junkSegmentFilterBox->setChecked(true);
    EXPECT_EQ(shared.treeDepthPosition, 75);
    EXPECT_EQ(shared.treeNodesPosition, 1200);
    EXPECT_EQ(shared.positionSliderValue, 33);
    EXPECT_TRUE(shared.automaticControl);
    EXPECT_FALSE(shared.avoidEmptyBuffer);
    EXPECT_TRUE(shared.junkSegmentFilter);
    state.positionSlider->setMaximum(20);
    EXPECT_EQ(shared.positionSliderMaximum, 20);
    EXPECT_EQ(shared.positionSliderValue, 20);

    window.reset();
    EXPECT_EQ(shared.driver.load(), nullptr) << "the driver goes with the window";
}

TEST_F(Window, RendersToAPictureOfTheLayout) {
    // Built where the logo is, so that the picture shows it.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(TESSARO_SOURCE_DIR "/data")));
    build(100.9);
    QDir::setCurrent(previous);
    QApplication::processEvents();
    const QImage painted = paintedImage(*window);
    const QString file = QStringLiteral(TESSARO_BINARY_DIR "/window-100.9s.png");
    ASSERT_TRUE(painted.save(file));
    EXPECT_GE(painted.width(), 445);
    EXPECT_GT(painted.height(), 335 + 20 + 50);
    // The picture widget's frame and the timeline's border are where the layout put them.
    const QPoint picture = display->mapTo(window.get(), QPoint(0, 0));
    EXPECT_EQ(pixelAt(painted, picture.x() + 1, picture.y() + 100), 0x000000u);
    EXPECT_NE(pixelAt(painted, picture.x() + 5, picture.y() + 5), 0x000000u) << "the logo";
    const QPoint timeline = state.timelineEvents->mapTo(window.get(), QPoint(0, 0));
    EXPECT_GT(timeline.y(), picture.y() + 335 - 1);
    EXPECT_EQ(pixelAt(painted, timeline.x(), timeline.y() + 10), 0x000000u);
    const QPoint slider = state.positionSlider->mapTo(window.get(), QPoint(0, 0));
    EXPECT_GT(slider.y(), timeline.y());
    const QPoint play = buttonNamed("Play")->mapTo(window.get(), QPoint(0, 0));
    const QPoint pause = buttonNamed("Pause")->mapTo(window.get(), QPoint(0, 0));
    const QPoint summary = buttonNamed("Summary")->mapTo(window.get(), QPoint(0, 0));
    EXPECT_LT(play.x(), pause.x());
    EXPECT_LT(pause.x(), summary.x());
    EXPECT_GT(play.y(), slider.y());
    const int weights = groupBoxAt(0)->mapTo(window.get(), QPoint(0, 0)).y();
    const int tree = groupBoxAt(1)->mapTo(window.get(), QPoint(0, 0)).y();
    EXPECT_LT(weights, tree);
    EXPECT_GT(weights, play.y());
}

} // namespace

TEST(KeyMap, PlayerKeysIgnoreModifiersButControlOpens) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        KeyAction action;
    };
    const Case cases[] = {
        {Qt::Key_Space, Qt::NoModifier, KeyAction::TogglePause},
        {Qt::Key_S, Qt::ShiftModifier, KeyAction::Summary}, // Caps Lock or Shift: still S
        {Qt::Key_O, Qt::ControlModifier, KeyAction::Open},
        {Qt::Key_O, Qt::NoModifier, KeyAction::None},
        {Qt::Key_S, Qt::ControlModifier, KeyAction::None}, // not a second Summary key
        {Qt::Key_Equal, Qt::NoModifier, KeyAction::Louder}, // + without Shift
        {Qt::Key_Up, Qt::KeypadModifier, KeyAction::Forward60},
    };
    for (const Case& c : cases)
        EXPECT_EQ(keyAction(c.key, c.modifiers), c.action) << c.key;
}

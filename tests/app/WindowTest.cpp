#include "ButtonActivation.h"
#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "MainWindow.h"
#include "QtTestApplication.h"
#include "SliderLCD.h"
#include "WindowControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        // Built where the logo is, so that the picture shows it.
        const QString previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QStringLiteral(TESSARO_SOURCE_DIR "/data")));
        buildMainWindow(window.get(), display, 100.9);
        QDir::setCurrent(previous);
        driver = state.core.driver;
        ASSERT_NE(driver, nullptr);
        // The process's one core: nothing a test before this one asked for.
        state.core.commands.takeAll();
    }
    QPoint at(const QWidget* widget) const { return widget->mapTo(window.get(), QPoint(0, 0)); }
    const QWidget* button(const char* text) const {
        for (auto* b : window->findChildren<ButtonActivation*>())
            if (b->text() == QLatin1String(text))
                return b;
        return nullptr;
    }

    ControlState& state = controlState();
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    DisplayWindow* display = new DisplayWindow("VIDEO", 445, 335);
    WidgetDriver* driver = nullptr;
};

TEST_F(Window, RendersThePictureAboveTheTimelineThePositionTheModesAndTheSettings) {
    QApplication::processEvents();
    const QImage painted = paintedImage(*window);
    // For a look at it.
    ASSERT_TRUE(painted.save(QStringLiteral(TESSARO_BINARY_DIR "/window-100.9s.png")));
    const QPoint picture = at(display), timeline = at(state.timelineEvents);
    EXPECT_EQ(pixelAt(painted, picture.x() + 1, picture.y() + 100), 0x000000u) << "its frame";
    EXPECT_NE(pixelAt(painted, picture.x() + 5, picture.y() + 5), 0x000000u) << "the logo";
    EXPECT_GE(timeline.y(), picture.y() + display->QWidget::height()) << "below the picture";
    EXPECT_EQ(pixelAt(painted, timeline.x(), timeline.y() + 10), 0x000000u) << "its border";
    const QList<QGroupBox*> groups = window->findChildren<QGroupBox*>();
    ASSERT_GE(groups.size(), 2);
    const QWidget* downwards[] = {state.timelineEvents, state.positionSlider, button("Play"),
                                  groups[0], groups[1]};
    for (size_t i = 1; i < std::size(downwards); ++i)
        EXPECT_LT(at(downwards[i - 1]).y(), at(downwards[i]).y()) << i;
    EXPECT_LT(at(button("Play")).x(), at(button("Pause")).x());
    EXPECT_LT(at(button("Pause")).x(), at(button("Summary")).x());
}

// What the user settles on a slider is a command (a seek) or a settings
// snapshot; what a program moves is neither.
TEST_F(Window, TheWorkersGetCommandsAndOneSettingsSnapshotNeverAWidget) {
    PlayerCore& core = state.core;
    EXPECT_EQ(core.state.snapshot().duration, 100.9);
    core.commands.takeAll();
    const auto seeks = [&core] {
        QApplication::processEvents();
        std::vector<double> targets;
        for (const PlayerCommand& given : core.commands.takeAll())
            if (const auto* seek = std::get_if<command::SeekTo>(&given))
                targets.push_back(seek->seconds);
        return targets;
    };
    state.positionSlider->setValue(33);
    EXPECT_EQ(seeks(), std::vector<double>{});
    state.positionSlider->setSliderDown(true);
    state.positionSlider->setSliderPosition(40);
    state.positionSlider->setSliderDown(false);
    EXPECT_EQ(seeks(), std::vector<double>{40});
    // A click in the groove away from the handle, as a page step.
    state.positionSlider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(seeks(), std::vector<double>{40.0 + state.positionSlider->pageStep()});

    // Limits and options are published at once, without a new summary.
    const PlayerSettings start = state.settings.snapshot();
    state.treeDepthCtl->slider->setValue(75);
    state.treeNodesCtl->slider->setValue(1200);
    state.automaticControlBox->click();
    state.junkSegmentFilterBox->setChecked(true);
    const PlayerSettings limits = state.settings.snapshot();
    EXPECT_EQ(limits.summary.depth, 75);
    EXPECT_EQ(limits.summary.nodes, 1200);
    EXPECT_TRUE(limits.automaticControl);
    EXPECT_TRUE(limits.summary.junkFilter);
    EXPECT_GT(limits.generation, start.generation);
    EXPECT_EQ(limits.rankingGeneration, start.rankingGeneration);

    // Two weights released in a row settle into one new ranking; switching
    // shot-aware ranking (off at first) is a new ranking too.
    const auto settled = [this](uint64_t generation) {
        QElapsedTimer waited;
        waited.start();
        while (state.settings.snapshot().rankingGeneration == generation &&
               waited.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return state.settings.snapshot();
    };
    state.targetLengthCtl->slider->setValue(40);
    emit state.targetLengthCtl->slider->sliderReleased();
    // A click in the groove, or the wheel, settles a weight as a release does.
    state.redundancyWeightCtl->slider->setValue(30);
    state.redundancyWeightCtl->slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(state.settings.snapshot().rankingGeneration, start.rankingGeneration);
    const PlayerSettings weights = settled(start.rankingGeneration);
    EXPECT_EQ(weights.rankingGeneration, start.rankingGeneration + 1);
    EXPECT_EQ(weights.summary.target, 0.4);
    EXPECT_EQ(weights.summary.redundancyWeight, 0.4);
    EXPECT_FALSE(weights.summary.shotAware);
    state.shotAwareRankingBox->click();
    const PlayerSettings shots = settled(weights.rankingGeneration);
    EXPECT_EQ(shots.rankingGeneration, weights.rankingGeneration + 1);
    EXPECT_TRUE(shots.summary.shotAware);

    window.reset();
    EXPECT_EQ(core.driver.load(), nullptr) << "the driver goes with the window";
}

// Whatever the user moves a weight with (the handle dragged, a click in the
// groove, the wheel, a key), the summary's settings take the new value once,
// after the settling; the window never shows one value and plays another.
TEST_F(Window, AWeightMovedAnyWayChangesTheSummaryOnce) {
    window->resize(900, 950);
    window->show();
    QApplication::processEvents();
    QSlider* slider = state.lengthWeightCtl->slider;
    const auto part = [slider](QStyle::SubControl control) {
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.tickPosition = slider->tickPosition();
        option.tickInterval = slider->tickInterval();
        return slider->style()
            ->subControlRect(QStyle::CC_Slider, &option, control, slider)
            .center();
    };
    const auto handle = [&part] { return part(QStyle::SC_SliderHandle); };
    const auto mouse = [slider](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, slider->mapToGlobal(at), Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(slider, &event);
    };
    const std::pair<const char*, std::function<void()>> moves[] = {
        {"groove click",
         [&] {
             const QPoint at(handle().x() + 40, part(QStyle::SC_SliderGroove).y());
             mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
             mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
         }},
        {"drag",
         [&] {
             const QPoint from = handle();
             mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
             for (int dx = 10; dx <= 60; dx += 10)
                 mouse(QEvent::MouseMove, from + QPoint(dx, 0), Qt::LeftButton);
             mouse(QEvent::MouseButtonRelease, from + QPoint(60, 0), Qt::NoButton);
         }},
        {"wheel",
         [&] {
             for (int notch = 0; notch < 3; ++notch) {
                 QWheelEvent wheel(QPointF(slider->rect().center()),
                                   QPointF(slider->mapToGlobal(slider->rect().center())),
                                   QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                                   Qt::NoScrollPhase, false);
                 QApplication::sendEvent(slider, &wheel);
             }
         }},
        {"key",
         [&] {
             QKeyEvent right(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
             QApplication::sendEvent(slider, &right);
         }},
    };
    for (const auto& [what, move] : moves) {
        SCOPED_TRACE(what);
        QApplication::processEvents();
        const PlayerSettings before = state.settings.snapshot();
        const int was = slider->value();
        move();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 400)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        const PlayerSettings after = state.settings.snapshot();
        EXPECT_NE(slider->value(), was) << "the move moved nothing";
        EXPECT_EQ(after.rankingGeneration, before.rankingGeneration + 1);
        EXPECT_DOUBLE_EQ(after.summary.lengthWeight, slider->value() / 100.0);
    }
}

// The decoding thread sleeps until it is given notice: every change it must
// follow gives one, or the change waits for an unrelated notice (a lost
// wake-up: in a pause, none ever comes).
TEST_F(Window, EveryChangeTheDecodingThreadFollowsWakesIt) {
    PlayerCore& core = state.core;
    WindowControl control(window.get(), display, core);
    const auto noticed = [&core] {
        for (int i = 0; i < 300; ++i) {
            QApplication::processEvents();
            if (core.wakeup.waitFor(std::chrono::milliseconds(10)))
                return true;
        }
        return false;
    };
    const struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"a mode button",
         [&] { static_cast<QPushButton*>(const_cast<QWidget*>(button("Summary")))->click(); }},
        {"the position slider released", [&] { emit state.positionSlider->sliderReleased(); }},
        {"a seek key", [&] { control.perform(KeyAction::Forward5); }},
        {"a segment skip", [&] { control.skipSegment(1); }},
        {"a tree limit",
         [&] { state.treeDepthCtl->slider->setValue(state.treeDepthCtl->slider->value() + 1); }},
        {"an option", [&] { state.avoidEmptyBufferBox->click(); }},
        {"weights settled",
         [&] {
             state.activityWeightCtl->slider->setValue(30);
             emit state.activityWeightCtl->slider->sliderReleased();
         }},
        {"a speed", [] { setPlaySpeed(1.5); }},
        {"a picture step in a pause",
         [&] {
             core.submit(command::ChooseMode{PlayerMode::Pause});
             noticed();
             control.perform(KeyAction::NextPicture);
         }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.what);
        core.wakeup.waitFor(std::chrono::milliseconds(0)); // what came before
        c.change();
        EXPECT_TRUE(noticed());
    }
}

// A worker drives the widgets through the queued driver (and one strip
// straight) while the GUI thread paints; at the end the widgets show the
// newest state of each, from values copied before each call returned.
TEST_F(Window, AWorkerDrivesWidgetsWhileTheGuiThreadPaints) {
    constexpr int kPasses = 3000;
    std::atomic<bool> done{false};
    PlayerCore& core = state.core;
    DisplayEvents* depthStrip = state.treeDepthEvents;
    std::vector<double> segments(64);
    std::thread worker([&] {
        for (int pass = 0; pass < kPasses; ++pass) {
            segments[pass % 64] = pass;
            const int second = pass % 101;
            // As the screen's thread publishes the picture shown.
            core.state.update(
                [second](PlayerState& s) { return changeTo(s.position, 1.0 * second); });
            core.driver.load()->setTimelineData(segments.data(), 1 + pass % 64, 0.0, 100, second, 1,
                                                0.0);
            core.driver.load()->setTreeNodesStrip(100.0, 5000.0, 100 + pass, 500.0, 0.0);
            depthStrip->setData(segments.data(), pass % 64, 20.0, 90.0, 20 + pass % 70, 60.0, 0.0);
        }
        core.state.update([](PlayerState& s) { return changeTo(s.position, 250.0); });
        std::fill(segments.begin(), segments.end(), -1.0);
        done = true;
    });
    while (!done) {
        QApplication::processEvents();
        paintedImage(*window);
    }
    worker.join();
    // The slider follows the newest position, clamped to its range, and
    // following it asks for no seek.
    QApplication::processEvents();
    EXPECT_EQ(state.positionSlider->value(), 100);
    QApplication::processEvents();
    EXPECT_TRUE(core.commands.takeAll().empty()) << "a program move is not a seek";
    const int last = kPasses - 1;
    ASSERT_EQ(state.timelineEvents->count, 1 + last % 64);
    EXPECT_EQ(state.timelineEvents->values[last % 64], last);
    EXPECT_EQ(state.timelineEvents->position, last % 101);
    EXPECT_EQ(state.treeNodesEvents->position, 100 + last);
    EXPECT_EQ(depthStrip->count, last % 64);
    EXPECT_EQ(depthStrip->position, 20 + last % 70);
}

} // namespace

TEST(KeyMap, PlayerKeysIgnoreModifiersButControlOpens) {
    const std::tuple<int, Qt::KeyboardModifiers, KeyAction> cases[] = {
        {Qt::Key_S, Qt::ShiftModifier, KeyAction::Summary}, // Caps Lock or Shift: still S
        {Qt::Key_O, Qt::ControlModifier, KeyAction::Open},
        {Qt::Key_O, Qt::NoModifier, KeyAction::None},
        {Qt::Key_S, Qt::ControlModifier, KeyAction::SaveSummary}, // not a second Summary key
        {Qt::Key_Equal, Qt::NoModifier, KeyAction::Louder},       // + without Shift
        {Qt::Key_Up, Qt::KeypadModifier, KeyAction::Forward60},
        {Qt::Key_C, Qt::NoModifier, KeyAction::ToggleControls},
        {Qt::Key_C, Qt::ControlModifier, KeyAction::CopyPicture},
        {Qt::Key_PageDown, Qt::NoModifier, KeyAction::NextVideo},
        {Qt::Key_PageUp, Qt::KeypadModifier, KeyAction::PreviousVideo},
        {Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier, KeyAction::OpenFolder},
    };
    for (auto [key, modifiers, action] : cases)
        EXPECT_EQ(keyAction(key, modifiers), action) << key;
}

#include "ButtonActivation.h"
#include "QtTestApplication.h"
#include "SliderLCD.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

enum class Act { Drag, Release, Press, Key, Move };
struct Step {
    Act act;
    int to = 0;
};

// The workers read value and changed: only a release may change them, the
// text follows every move.
TEST(SliderLCD, OnlyAReleaseChangesWhatTheWorkersRead) {
    struct Case {
        const char* what;
        bool whole; // the tree-nodes control (whole numbers) instead of a weight
        std::vector<Step> steps;
        const char* text;
        double value;
        bool changed, dragging;
    };
    const Case cases[] = {
        {"dragged", false, {{Act::Drag, 70}}, "0.70", 0.2, false, true},
        {"released", false, {{Act::Drag, 70}, {Act::Release}}, "0.70", 0.7, true, false},
        {"two releases before a reader looks",
         false,
         {{Act::Drag, 30}, {Act::Release}, {Act::Drag, 40}, {Act::Release}},
         "0.40", 0.4, true, false},
        {"pressed again before a reader looks",
         false,
         {{Act::Drag, 60}, {Act::Release}, {Act::Press}},
         "0.60", 0.6, true, true},
        {"a key", true, {{Act::Key}}, "501", 500, false, false},
        {"a program move", true, {{Act::Move, 4321}}, "4321", 500, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Made and destroyed outside any window: the sanitizer builds see it release its widgets.
        auto control =
            c.whole ? std::make_unique<SliderLCD>("Tree Nodes", 500, 100, 5000, true, false, 1.0)
                    : std::make_unique<SliderLCD>("Length Weight", 20, 0, 1, true, true, 100.0);
        QSlider* slider = control->slider;
        for (const Step& s : c.steps) {
            // Drag as QSlider's own mouse handling does.
            if (s.act == Act::Drag || s.act == Act::Press)
                slider->setSliderDown(true);
            if (s.act == Act::Drag)
                slider->setSliderPosition(s.to);
            if (s.act == Act::Release)
                slider->setSliderDown(false);
            if (s.act == Act::Move)
                slider->setValue(s.to);
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            if (s.act == Act::Key)
                QApplication::sendEvent(slider, &right);
        }
        EXPECT_EQ(control->valueLabel->text().trimmed().toStdString(), c.text);
        EXPECT_DOUBLE_EQ(control->value, c.value);
        EXPECT_EQ(control->changed, c.changed);
        EXPECT_EQ(control->dragging, c.dragging);
    }
}

TEST(ButtonActivation, AClickPublishesItsModeAndWakesTheWaitingWorker) {
    SharedControls controls;
    ButtonActivation summary(controls, PlayerMode::Summary);
    QObject::connect(&summary, &QPushButton::clicked, &summary, &ButtonActivation::activa);
    PlayerMode seen = PlayerMode::Play;
    std::thread worker([&] {
        // Longer than any test run: only the click's notice ends the wait.
        controls.wakeup.waitFor(std::chrono::hours(1));
        seen = controls.mode;
    });
    summary.click();
    worker.join();
    EXPECT_EQ(seen, PlayerMode::Summary);
}

} // namespace

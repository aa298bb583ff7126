#include "ControlState.h"
#include "DisplayEvents.h"
#include "DisplayWindow.h"
#include "MainWindow.h"
#include "QtTestApplication.h"

#include <QApplication>
#include <QSlider>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

class WidgetDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        buildMainWindow(window.get(), new DisplayWindow("VIDEO", 445, 335), 100.9);
        driver = state.shared.driver;
        ASSERT_NE(driver, nullptr);
    }

    ControlState& state = controlState();
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    WidgetDriver* driver = nullptr;
};

TEST_F(WidgetDriverTest, PositionMoveIsSeenAtOnceAndReachesTheSliderLater) {
    driver->setPositionSlider(42);
    EXPECT_EQ(state.shared.positionSliderValue, 42);
    QApplication::processEvents();
    EXPECT_EQ(state.positionSlider->value(), 42);
    EXPECT_EQ(state.shared.positionSliderValue, 42);

    driver->setPositionSlider(250);
    EXPECT_EQ(state.shared.positionSliderValue, 100) << "clamped like the slider";
    driver->setPositionSlider(-5);
    EXPECT_EQ(state.shared.positionSliderValue, 0);
    QApplication::processEvents();
    EXPECT_EQ(state.positionSlider->value(), 0);
    EXPECT_FALSE(state.shared.positionCtl->changed) << "a program move is not a release";
}

TEST_F(WidgetDriverTest, TimelineValuesAreCopiedBeforeTheCallReturns) {
    std::vector<double> segments = {0.0, 12.0, 30.5};
    driver->setTimelineData(segments.data(), 3, 0.0, 100.0, 40.0, 35.0, 20.0);
    segments.assign(3, 99.0);
    QApplication::processEvents();
    DisplayEvents* strip = state.timelineEvents;
    ASSERT_EQ(strip->count, 3);
    EXPECT_EQ(strip->values[1], 12.0);
    EXPECT_EQ(strip->values[2], 30.5);
    EXPECT_EQ(strip->maximum, 100.0);
    EXPECT_EQ(strip->position, 40.0);
    EXPECT_EQ(strip->mark1, 35.0);
    EXPECT_EQ(strip->mark2, 20.0);
}

TEST_F(WidgetDriverTest, ManyRequestsBeforeTheGuiThreadRunsLeaveTheNewestState) {
    std::vector<double> segments;
    for (int i = 0; i < 500; ++i) {
        segments.push_back(i);
        driver->setTimelineData(segments.data(), i + 1, 0.0, 600.0, i, 0.0, 0.0);
        driver->setPositionSlider(i % 101);
        driver->setTreeDepthStrip(20.0, 90.0, 20 + i % 70, 60.0, 0.0);
        driver->setTreeNodesStrip(100.0, 5000.0, 100 + i, 500.0, 0.0);
    }
    QApplication::processEvents();
    EXPECT_EQ(state.timelineEvents->count, 500);
    EXPECT_EQ(state.timelineEvents->values[499], 499.0);
    EXPECT_EQ(state.timelineEvents->position, 499.0);
    EXPECT_EQ(state.positionSlider->value(), 499 % 101);
    EXPECT_EQ(state.treeDepthEvents->position, 20 + 499 % 70);
    EXPECT_EQ(state.treeDepthEvents->mark1, 60.0);
    EXPECT_EQ(state.treeDepthEvents->count, 0);
    EXPECT_EQ(state.treeNodesEvents->position, 599.0);
    EXPECT_EQ(state.treeNodesEvents->minimum, 100.0);
    EXPECT_EQ(state.treeNodesEvents->maximum, 5000.0);
}

TEST_F(WidgetDriverTest, AWorkerDrivesWidgetsWhileTheGuiThreadPaints) {
    constexpr int kPasses = 3000;
    std::atomic<bool> done{false};
    SharedControls& shared = state.shared;
    DisplayEvents* depthStrip = state.treeDepthEvents;
    std::thread worker([&] {
        double segments[64] = {};
        for (int pass = 0; pass < kPasses; ++pass) {
            segments[pass % 64] = pass * 0.01;
            const int second = pass % 101;
            shared.positionValue = second;
            if (!shared.positionCtl->dragging) {
                shared.driver.load()->setPositionSlider(second);
            }
            shared.driver.load()->setTimelineData(segments, 1 + pass % 64, 0.0,
                                           shared.positionSliderMaximum, second, pass % 7, 0.0);
            shared.driver.load()->setTreeNodesStrip(100.0, 5000.0, shared.treeNodesPosition, 500.0, 0.0);
            // A strip may also be fed straight from the worker.
            depthStrip->setData(segments, pass % 64, 20.0, 90.0, shared.treeDepthPosition, 60.0,
                                0.0);
        }
        shared.driver.load()->setPositionSlider(77);
        done = true;
    });
    int paints = 0;
    while (!done) {
        QApplication::processEvents();
        paintedImage(*window);
        ++paints;
    }
    worker.join();
    QApplication::processEvents();
    EXPECT_GT(paints, 0);
    EXPECT_EQ(state.positionSlider->value(), 77);
    EXPECT_EQ(state.timelineEvents->count, 1 + (kPasses - 1) % 64);
    EXPECT_EQ(depthStrip->count, (kPasses - 1) % 64);
}

} // namespace

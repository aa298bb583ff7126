#include "ButtonActivation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

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

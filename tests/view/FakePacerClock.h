#pragma once

// A pacing clock for tests: time moves only when its user sleeps or the test
// advances it, and each sleep is recorded and may trigger the test's hook.

#include "PlaybackPacer.h"

#include <chrono>
#include <functional>
#include <vector>

class FakePacerClock : public PacerClock {
public:
    TimePoint now() override { return origin + offset; }
    void sleepFor(std::chrono::milliseconds duration) override {
        sleeps.push_back(duration);
        offset += duration;
        if (onSleep) {
            onSleep();
        }
    }
    void advance(std::chrono::milliseconds duration) { offset += duration; }

    std::vector<std::chrono::milliseconds> sleeps;
    std::function<void()> onSleep;

private:
    const TimePoint origin = std::chrono::steady_clock::now();
    std::chrono::milliseconds offset{0};
};

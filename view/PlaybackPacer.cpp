#include "PlaybackPacer.h"

#include <thread>

PacerClock::TimePoint SteadyPacerClock::now() {
    return std::chrono::steady_clock::now();
}

void SteadyPacerClock::sleepFor(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

PlaybackPacer::PlaybackPacer(PacerClock& clock, const std::atomic<bool>& stopRequested,
                             int32_t frameRate, int32_t maxLateFrames)
    : frameRate(frameRate), maxLateFrames(maxLateFrames), clock(clock),
      stopRequested(stopRequested), period(1.0 / frameRate), clockStart(clock.now()) {}

bool PlaybackPacer::start() {
    currentState = PlaybackState::Starting;
    if (!sleep(startDelay)) {
        return false;
    }
    restartClock();
    currentState = PlaybackState::Playing;
    return true;
}

bool PlaybackPacer::starve() {
    currentState = PlaybackState::Starved;
    if (!sleep(idleStep)) {
        return false;
    }
    restartClock();
    return true;
}

bool PlaybackPacer::waitWhilePaused(const std::function<bool()>& paused) {
    currentState = PlaybackState::Paused;
    while (paused()) {
        if (!sleep(idleStep)) {
            return false;
        }
    }
    return !stopping();
}

PaceDecision PlaybackPacer::pace() {
    if (stopping()) {
        return PaceDecision::Stop;
    }
    currentState = PlaybackState::Playing;
    const double due = framesTaken * period;
    const double lastOnTime = (framesTaken + 0.5) * period;
    double t = elapsed();
    PaceDecision decision = PaceDecision::Show;
    if (t < due) {
        while (t < due) {
            if (!sleep(earlyStep)) {
                return PaceDecision::Stop;
            }
            t = elapsed();
        }
        late = 0;
    } else if (t <= lastOnTime) {
        late = 0;
    } else if (++late > maxLateFrames) {
        // The schedule counts from this frame, which is shown.
        restartClock();
    } else {
        decision = PaceDecision::Drop;
    }
    ++framesTaken;
    return decision;
}

double PlaybackPacer::elapsed() const {
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - clockStart);
    return static_cast<uint32_t>(since.count()) * 0.001;
}

bool PlaybackPacer::sleep(std::chrono::milliseconds duration) {
    if (stopping()) {
        return false;
    }
    clock.sleepFor(duration);
    return !stopping();
}

void PlaybackPacer::restartClock() {
    clockStart = clock.now();
    framesTaken = 0;
    late = 0;
}

bool PlaybackPacer::stopping() {
    if (stopRequested.load()) {
        currentState = PlaybackState::Stopped;
        return true;
    }
    return false;
}

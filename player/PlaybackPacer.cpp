#include "PlaybackPacer.h"

#include <algorithm>
#include <cmath>

PlaybackPacer::PlaybackPacer(PacerClock& clock, std::function<bool()> stopRequested,
                             int32_t maxLateFrames)
    : maxLateFrames(maxLateFrames), clock(clock), stopRequested(std::move(stopRequested)),
      clockStart(clock.now()) {}

bool PlaybackPacer::start() {
    currentState = PlaybackState::Starting;
    if (!sleep(startDelay)) {
        return false;
    }
    clockRunning = false;
    currentState = PlaybackState::Playing;
    return true;
}

bool PlaybackPacer::starve() {
    currentState = PlaybackState::Starved;
    clockRunning = false;
    return !stopping();
}

double PlaybackPacer::untilDue(double playTime) const {
    if (masterClock) {
        if (const std::optional<double> heard = masterClock()) {
            return playTime - *heard;
        }
    }
    return (playTime - clockStartPlayTime) - elapsed();
}

PaceDecision PlaybackPacer::pace(double playTime, double period) {
    if (stopping()) {
        return PaceDecision::Stop;
    }
    currentState = PlaybackState::Playing;
    for (int waited = 0; masterClock && masterPending && waited < longestPendingSteps &&
                         !masterClock().has_value() && masterPending();
         ++waited) {
        if (!sleep(pendingStep)) {
            return PaceDecision::Stop;
        }
    }
    // A picture lasts until the next: where they come further apart than
    // the stated rate says (a variable rate), that spacing is its period.
    const double step = playTime - lastPlayTime;
    const double spacing = step > 0.0 && step <= longestSpacing ? step : 0.0;
    lastPlayTime = playTime;
    const bool mastered = masterClock && masterClock().has_value();
    if (!mastered && (!clockRunning || untilDue(playTime) > longestWait)) {
        restartClock(playTime);
        return shown(playTime);
    }
    double wait = untilDue(playTime);
    if (wait > 0.0) {
        // Early: wait for its time, in steps short enough to notice a stop.
        while (wait > 0.0 && wait <= longestWait) {
            const auto step = std::min(
                earlyStep, std::chrono::milliseconds(static_cast<int64_t>(std::ceil(wait * 1000))));
            if (!sleep(step)) {
                return PaceDecision::Stop;
            }
            wait = untilDue(playTime);
        }
        return shown(playTime);
    }
    if (-wait <= 0.5 * std::max(period, spacing)) {
        return shown(playTime);
    }
    // Behind the sound, pictures shown late cost the time that catching up
    // needs (at 240 fps, more than they are apart): most are dropped.
    const bool catchingUp =
        mastered && playTime - lastShownPlayTime < longestCatchUp && playTime >= lastShownPlayTime;
    if (++late > maxLateFrames && !catchingUp) {
        // Shown after all; without a master clock the schedule counts from it.
        if (!mastered) {
            restartClock(playTime);
        }
        return shown(playTime);
    }
    return PaceDecision::Drop;
}

PaceDecision PlaybackPacer::shown(double playTime) {
    late = 0;
    lastShownPlayTime = playTime;
    return PaceDecision::Show;
}

double PlaybackPacer::elapsed() const {
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - clockStart);
    return static_cast<double>(since.count()) * 0.001;
}

bool PlaybackPacer::sleep(std::chrono::milliseconds duration) {
    if (stopping()) {
        return false;
    }
    clock.sleepFor(duration);
    return !stopping();
}

void PlaybackPacer::restartClock(double playTime) {
    clockStart = clock.now();
    clockStartPlayTime = playTime;
    clockRunning = true;
    late = 0;
}

bool PlaybackPacer::stopping() {
    if (stopRequested()) {
        currentState = PlaybackState::Stopped;
        return true;
    }
    return false;
}

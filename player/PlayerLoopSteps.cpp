// The decoding loop's answers to a new speed, to frame steps in a pause, and
// to a save that needs the buffer's room.

#include "PlayerLoop.h"

#include "SoundSink.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Every picture's time comes from its timestamp the same way, so the same
// picture has the same time to the last bit.
bool before(double time, double shown) {
    return time < shown;
}
// A skip back this far into a segment goes to its start, not the one before.
constexpr double kBackToStart = 2.0;
} // namespace

void PlayerLoop::clearPlacement() {
    playbackQueue.flush();
    sound.restart();
    if (audio != nullptr) {
        audio->retry();
        audio->flush();
        audio->setPaused(seenMode == PlayerMode::Pause);
    }
    playFrom = -std::numeric_limits<double>::infinity();
    timelineEnd = 0.0;
    placedAny = false;
    lastKeptNumber = -2;
}

bool PlayerLoop::hasRoom(int64_t comingBytes) const {
    const size_t held = playbackQueue.size();
    if (held >= static_cast<size_t>(bufferTarget))
        return false;
    // An empty buffer takes what comes, however large the pictures.
    const int64_t budget = controls.saving ? bufferBudget / 2 : bufferBudget;
    return held == 0 || playbackQueue.weight() + comingBytes <= budget;
}

void PlayerLoop::takeSaving() {
    const bool saving = controls.saving.load();
    // A pause does not drain the buffer: when a save starts, what lies
    // beyond half its bytes is read again later instead of held.
    if (saving && !sawSaving && seenMode == PlayerMode::Pause &&
        playbackQueue.weight() > bufferBudget / 2)
        resumeAfter(controls.shownTime);
    sawSaving = saving;
}

void PlayerLoop::takeSpeed() {
    const double wanted = std::clamp(settings.speed, 0.5, 2.0);
    if (wanted == speed)
        return;
    speed = wanted;
    controls.speed = speed;
    sound.setSpeed(speed);
    // What is queued was placed at the old speed.
    resumeAfter(controls.shownTime);
}

void PlayerLoop::resumeAfter(double shown) {
    const double after = std::nextafter(shown, std::numeric_limits<double>::infinity());
    if (workingMode() == PlayerMode::Summary) {
        replayFrom(after);
        return;
    }
    restartAt(shown);
    playFrom = after;
}

void PlayerLoop::replayFrom(double from) {
    clearPlacement();
    replay.clear();
    for (const Decision& kept : recentKept)
        if (!before(kept.last, from))
            replay.push_back(kept);
    replayStart = from;
}

void PlayerLoop::takeSteps() {
    const int32_t steps = controls.stepRequests.exchange(0);
    if (steps == 0 || seenMode != PlayerMode::Pause)
        return;
    steppedInPause = true;
    if (steps > 0)
        controls.screenSteps += steps;
    else
        stepBack(-steps);
    controls.screenWakeup.notify();
}

void PlayerLoop::stepBack(int count) {
    const double shown = controls.shownTime;
    if (workingMode() == PlayerMode::Summary) {
        double target = shown;
        for (int k = 0; k < count; ++k)
            target = keptPictureBefore(target);
        if (!before(target, shown))
            return;
        replayFrom(target);
        controls.screenSteps += 1;
        return;
    }
    // The pictures before the one shown come from the key frame before
    // them: read from far enough back to hold `count` of them.
    std::vector<PictureFrame> frames;
    size_t earlier = 0;
    for (double lead = framePeriod * (count + 1);; lead *= 2) {
        const double from = std::max(0.0, shown - lead);
        frames.clear();
        if (!playback.seekFrameWKey(from))
            return;
        earlier = 0;
        while (playback.readNext(1, frames) == 1) {
            if (!before(frames.back().frameTime, shown))
                break;
            ++earlier;
        }
        if (earlier >= static_cast<size_t>(count) || from == 0.0)
            break;
    }
    if (earlier == 0)
        return restartAt(shown);
    const auto first = static_cast<std::ptrdiff_t>(earlier - std::min<size_t>(earlier, count));
    frames.erase(frames.begin(), frames.begin() + first);
    clearPlacement();
    endOfStream = false;
    for (PictureFrame& frame : frames)
        frame.frameNumber = ++framesHandedOn;
    handOn(frames, true);
    controls.screenSteps += 1;
}

double PlayerLoop::keptPictureBefore(double shown) {
    for (auto kept = recentKept.rbegin(); kept != recentKept.rend(); ++kept) {
        if (before(shown, kept->start))
            continue;
        if (!before(kept->start, shown)) {
            // The first picture of its fragment: the last of the one before.
            const auto earlier = std::next(kept);
            return earlier == recentKept.rend() ? shown : earlier->last;
        }
        std::vector<PictureFrame> frames;
        if (!playback.read(*kept, frames))
            return shown;
        double found = shown;
        for (const PictureFrame& frame : frames)
            if (before(frame.frameTime, shown))
                found = frame.frameTime;
        return found;
    }
    return shown;
}

void PlayerLoop::takeSkips() {
    const int32_t skips = controls.segmentSkips.exchange(0);
    if (skips == 0 || workingMode() != PlayerMode::Summary)
        return;
    // The segments (runs of fragments kept one after the other) handed on.
    std::vector<double> starts;
    int32_t previous = -2;
    for (const Decision& kept : recentKept) {
        if (kept.number != previous + 1)
            starts.push_back(kept.start);
        previous = kept.number;
    }
    const double shown = controls.shownTime;
    int playing = -1;
    for (size_t k = 0; k < starts.size(); ++k)
        if (!before(shown, starts[k]))
            playing = static_cast<int>(k);
    int target = playing + skips;
    if (skips < 0 && playing >= 0 && shown - starts[playing] > kBackToStart)
        ++target;
    target = std::max(target, 0);
    // A segment not decided yet cannot be reached.
    if (target >= static_cast<int>(starts.size()))
        return;
    replayFrom(starts[target]);
    if (seenMode == PlayerMode::Pause) {
        steppedInPause = true;
        controls.screenSteps += 1;
        controls.screenWakeup.notify();
    }
}

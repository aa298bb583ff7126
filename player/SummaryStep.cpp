#include "SummaryStep.h"

#include "FragmentDecoder.h"
#include "PlaybackReader.h"
#include "PlaybackTimeline.h"
#include "PlayerCore.h"
#include "StepTimes.h"
#include "SummaryTurns.h"

#include <algorithm>

namespace {
// Kept fragments remembered to play them again: well over what the queue holds.
constexpr size_t kRecentKept = 200;
// A skip back this far into a segment goes to its start, not the one before.
constexpr double kBackToStart = 2.0;
} // namespace

void SummaryStep::restart() {
    replay.clear();
    recentKept.clear();
    firstRunStart = -1.0;
    lastRunStart = -1.0;
}

void SummaryStep::dropSegmentsAfter(double seconds) {
    while (!segments.empty() && segments.back() > seconds)
        segments.pop_back();
}

bool SummaryStep::step(SummaryTurns& turns, bool avoidEmptyBuffer, bool saving) {
    int width = 0;
    int height = 0;
    if (VideoReader* reader = playback.videoReader())
        reader->getVideoSize(&width, &height);
    const int64_t fragmentBytes = pictureBytes(width, height) * FragmentDecoder::fragmentCapacity;
    if (!timeline.hasRoom(fragmentBytes, saving)) {
        // A full buffer holds the next decision back. Fragments that no
        // decision waits for may still go in: the turns, and with them the
        // decisions, stay those of a summary that never waits.
        if (turns.fragmentWithoutDecision()) {
            turns.offerFragment();
            return true;
        }
        return false;
    }
    if (!replay.empty()) {
        const Decision again = replay.front();
        replay.pop_front();
        handKept(again, replayStart);
        return true;
    }

    turns.offerFragment();
    if (turns.decisionDue()) {
        const std::optional<Decision> decision =
            turns.takeDecision(queue.empty() && avoidEmptyBuffer);
        if (decision && decision->kept)
            takeKept(*decision);
        // Decided fragments count whether kept or not.
        if (decision)
            timeline.skip(decision->frames);
    }
    if (!turns.finished())
        return true;
    core.setSummaryFilling(false); // nothing more will come
    return false;
}

void SummaryStep::takeKept(const Decision& decision) {
    const bool newRun = recentKept.empty() || decision.number != recentKept.back().number + 1;
    if (!handKept(decision, decision.start))
        return;
    if (newRun) {
        lastRunStart = decision.start;
        if (firstRunStart < 0.0)
            firstRunStart = decision.start;
    }
    segments.push_back(decision.start);
    recentKept.push_back(decision);
    if (recentKept.size() > kRecentKept)
        recentKept.pop_front();
    core.setSummaryFilling(false);
}

bool SummaryStep::handKept(const Decision& decision, double from) {
    std::vector<PictureFrame> frames;
    if (!playback.read(decision, frames))
        return false;
    timeline.number(frames, false);
    size_t shown = 0;
    while (shown < frames.size() && frames[shown].frameTime < from)
        ++shown;
    frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(shown));
    timeline.place(frames, decision.number == lastKeptNumber + 1);
    lastKeptNumber = decision.number;
    return true;
}

void SummaryStep::replayFrom(double from) {
    replay.clear();
    for (const Decision& kept : recentKept)
        if (!pictureBefore(kept.last, from))
            replay.push_back(kept);
    replayStart = from;
}

double SummaryStep::keptPictureBefore(int count, double shown) {
    double target = shown;
    for (int k = 0; k < count; ++k)
        target = keptPictureBefore(target);
    return target;
}

double SummaryStep::keptPictureBefore(double shown) {
    for (auto kept = recentKept.rbegin(); kept != recentKept.rend(); ++kept) {
        if (pictureBefore(shown, kept->start))
            continue;
        if (!pictureBefore(kept->start, shown)) {
            // The first picture of its fragment: the last of the one before.
            const auto earlier = std::next(kept);
            return earlier == recentKept.rend() ? shown : earlier->last;
        }
        std::vector<PictureFrame> frames;
        if (!playback.read(*kept, frames))
            return shown;
        double found = shown;
        for (const PictureFrame& frame : frames)
            if (pictureBefore(frame.frameTime, shown))
                found = frame.frameTime;
        return found;
    }
    return shown;
}

std::optional<double> SummaryStep::segmentStart(int skips, double shown) const {
    std::vector<double> starts;
    int32_t previous = -2;
    for (const Decision& kept : recentKept) {
        if (kept.number != previous + 1)
            starts.push_back(kept.start);
        previous = kept.number;
    }
    int playing = -1;
    for (size_t k = 0; k < starts.size(); ++k)
        if (!pictureBefore(shown, starts[k]))
            playing = static_cast<int>(k);
    int target = playing + skips;
    if (skips < 0 && playing >= 0 && shown - starts[playing] > kBackToStart)
        ++target;
    target = std::max(target, 0);
    if (target >= static_cast<int>(starts.size()))
        return std::nullopt;
    return starts[target];
}

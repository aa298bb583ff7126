#pragma once

// Summary mode's side of the decoding loop: the summarising turns, and the
// pictures of each kept fragment read again and handed on, so that no
// undecided fragment holds a picture. The kept fragments handed on lately
// are remembered, to hand them on again (a new speed, a step back, a skip
// to an earlier segment) without deciding anything anew.

#include "PlaybackQueue.h"
#include "Summarizer.h"

#include <deque>
#include <optional>
#include <vector>

class PlaybackReader;
class PlaybackTimeline;
class PlayerCore;
class SummaryTurns;

class SummaryStep {
public:
    SummaryStep(PlaybackReader& playback, PlaybackTimeline& timeline, PlaybackQueue& queue,
                PlayerCore& core)
        : playback(playback), timeline(timeline), queue(queue), core(core) {}

    // One turn (or one fragment handed on again); false when it waits for
    // room or has nothing more to do.
    bool step(SummaryTurns& turns, bool avoidEmptyBuffer, bool saving);
    // A new summary: nothing is handed on again.
    void restart();
    // The placement was cleared: the next kept fragment does not follow on.
    void clear() { lastKeptNumber = -2; }
    // Hands on again the kept fragments from `from` (video time) on.
    void replayFrom(double from);
    // The time of the kept picture `count` pictures before `shown`; `shown`
    // itself when there is none.
    double keptPictureBefore(int count, double shown);
    // The start of the segment (a run of fragments kept one after the
    // other) `skips` segments on from the one playing at `shown`; none when
    // it is not decided yet.
    std::optional<double> segmentStart(int skips, double shown) const;

    // Where the first and the last segment handed on since the summary
    // started begin; negative before the first.
    double firstSegmentStart() const { return firstRunStart; }
    double lastSegmentStart() const { return lastRunStart; }

    // Start times of the summary's segments handed on, for the timeline.
    const std::vector<double>& segmentTimes() const { return segments; }
    void resetSegments() { segments = {0.0}; }
    void dropSegmentsAfter(double seconds);

private:
    void takeKept(const Decision& decision);
    bool handKept(const Decision& decision, double from);
    double keptPictureBefore(double shown);

    PlaybackReader& playback;
    PlaybackTimeline& timeline;
    PlaybackQueue& queue;
    PlayerCore& core;
    std::vector<double> segments{0.0};
    int32_t lastKeptNumber = -2;
    // Kept fragments handed on lately, whose pictures may still wait in the
    // queue; those to hand on again, from replayStart on.
    std::deque<Decision> recentKept;
    std::deque<Decision> replay;
    double replayStart = 0.0;
    double firstRunStart = -1.0;
    double lastRunStart = -1.0;
};

#include "ShotAwareRanking.h"

#include "FrameBuffer.h"
#include "ShotBoundaries.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A run shorter than half a second is a blink, not a shot to watch.
constexpr int32_t kShortestRun = 12;
// A kept fragment's gain: the first of a shot is what a summary is for;
// more of a shot already shown adds little; junk loses more than any length
// it makes up for.
constexpr double kNewShotGain = 1.0;
constexpr double kDwellGain = 0.1;
constexpr double kJunkLoss = 4.0;
// Every fragment's worth off the target costs more than a new shot gains,
// so no shot is bought with length.
constexpr double kLengthCost = 1.5;
// Fragments nearer than the least difference of a cut show the same thing.
constexpr double kSameShotDistance = 0.12;
// The weighted ranking only orders candidates that are otherwise equal.
constexpr double kRankingShare = 0.1;

struct Run {
    int32_t first = 0;
    int32_t frames = 0;
};

// The longest run of frames in one shot; with clean, only frames that are
// neither junk nor in a transition.
Run longestRun(const std::vector<FrameMark>& marks, bool clean) {
    Run best, run;
    for (int32_t k = 0; k < static_cast<int32_t>(marks.size()); ++k) {
        const bool playable = !clean || (!marks[k].junk && !marks[k].boundary);
        const bool continues = run.frames > 0 && marks[k].shot == marks[k - 1].shot;
        if (!playable) {
            run.frames = 0;
            continue;
        }
        if (!continues)
            run = {k, 0};
        ++run.frames;
        if (run.frames > best.frames)
            best = run;
    }
    return best;
}

} // namespace

void trimToMainShot(FrameBuffer& fragment, ShotBoundaries& boundaries) {
    const int64_t base = boundaries.frames();
    for (const Frame& frame : fragment.frames)
        boundaries.add(frame.descriptors);
    std::vector<FrameMark> marks;
    for (int32_t k = 0; k < fragment.count(); ++k)
        marks.push_back(boundaries.mark(base + k));

    const int32_t count = fragment.count();
    Run main = longestRun(marks, true);
    const bool watchable = main.frames >= std::min(kShortestRun, count);
    if (!watchable)
        main = longestRun(marks, false);
    std::vector<Frame>& frames = fragment.frames;
    frames.erase(frames.begin() + main.first + main.frames, frames.end());
    frames.erase(frames.begin(), frames.begin() + main.first);
    fragment.shotSpan = {true, count > 0 ? marks[main.first].shot : 0, main.first,
                         count - main.first - main.frames, !watchable};
    fragment.variationComputed = fragment.maxDifferenceComputed = false;
    fragment.colorCountComputed = fragment.minActivityComputed = false;
    fragment.maxPairDifference = 0.0;
}

double inclusionGain(const ShotSpan& span, const ShotSpan* lastKept, double nearest) {
    if (span.junk)
        return -kJunkLoss;
    if (lastKept != nullptr && lastKept->known && lastKept->shot == span.shot)
        return kDwellGain;
    return nearest < kSameShotDistance ? kDwellGain : kNewShotGain;
}

double shotAwareScore(double gains, int32_t summaryFrames, int32_t totalFrames, double targetLength,
                      int32_t fragmentFrames, double rankingScore) {
    const double off = std::abs(summaryFrames - targetLength * totalFrames);
    const double cost = kLengthCost * off / std::max<int32_t>(fragmentFrames, 1);
    return gains - cost + kRankingShare * rankingScore;
}

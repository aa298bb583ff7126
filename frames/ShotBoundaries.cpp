#include "ShotBoundaries.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// A cut is a frame difference this many times the recent mean...
constexpr double kCutRatio = 3.0;
// ...and never less than this: grain and compression stay well below it,
// while two shots of one scene from different angles still reach it.
constexpr double kCutFloor = 0.12;
// The recent mean is of the last second of differences.
constexpr size_t kHistory = 25;
// A jump that comes back within this many frames was a flash.
constexpr int64_t kFlashLongest = 5;
// Gradual transitions are looked for as differences across this many frames...
constexpr int64_t kSpan = 10;
// ...and last up to a second.
constexpr int64_t kLongestTransition = 25;

// Junk pictures. Flat: the luma of the 8 x 8 blocks spreads less than this
// many levels and the chroma has no structure (the activity of black is 0).
constexpr double kFlatSpread = 4.0;
constexpr double kFlatActivity = 2.0;
constexpr double kFlatPixelSpread = 16.0;
// Colour bars and test cards: more chroma structure than any scene.
constexpr double kCardActivity = 1000.0;
// Noise: pixels spread widely while the blocks' means differ hardly more
// than sampling alone makes them (or than a small share of that spread).
constexpr double kNoisePixelSpread = 30.0;
constexpr double kNoiseBlockShare = 0.15;
constexpr double kNoiseSampling = 2.0;

double mean(const std::vector<double>& values) {
    return values.empty() ? 0.0
                          : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

void remember(std::vector<double>& values, double value) {
    if (values.size() == kHistory)
        values.erase(values.begin());
    values.push_back(value);
}

double threshold(const std::vector<double>& recent) {
    return std::max(kCutFloor, kCutRatio * mean(recent));
}

} // namespace

bool isJunkPicture(const Descriptors& picture) {
    const double* lumaBlocks = picture.blockMeans[0];
    const double blockMean = std::accumulate(lumaBlocks, lumaBlocks + 64, 0.0) / 64.0;
    double blockVariance = 0.0;
    for (int i = 0; i < 64; ++i)
        blockVariance += (lumaBlocks[i] - blockMean) * (lumaBlocks[i] - blockMean) / 64.0;
    // The pixels' spread from the luma histogram, each bin at its centre.
    const double* bins = picture.histogram[0];
    const double samples = std::accumulate(bins, bins + 16, 0.0);
    if (samples <= 0.0)
        return false;
    double pixelMean = 0.0;
    for (int k = 0; k < 16; ++k)
        pixelMean += bins[k] * (16.0 * k + 8.0) / samples;
    double pixelVariance = 0.0;
    for (int k = 0; k < 16; ++k)
        pixelVariance += bins[k] * std::pow(16.0 * k + 8.0 - pixelMean, 2) / samples;
    const double blockSpread = std::sqrt(blockVariance);
    const double pixelSpread = std::sqrt(pixelVariance);
    const double activity = picture.activity;

    const bool flat =
        blockSpread < kFlatSpread && activity < kFlatActivity && pixelSpread < kFlatPixelSpread;
    const bool card = activity > kCardActivity;
    const double sampling = kNoiseSampling * pixelSpread / std::sqrt(samples / 64.0);
    const bool noise = pixelSpread >= kNoisePixelSpread &&
                       blockSpread < std::max(kNoiseBlockShare * pixelSpread, sampling);
    return flat || card || noise;
}

ShotBoundaries::ShotBoundaries() : ring(kRecall), marks(kRecall), stepAt(kRecall) {}

void ShotBoundaries::reset() {
    added = 0;
    shot = 0;
    nextShot = 1;
    shotStart = 0;
    calmFrom = 0;
    steps.clear();
    spans.clear();
    jumpAt = -1;
    riseFrom = -1;
    riseSpans.clear();
}

const Descriptors& ShotBoundaries::recalled(int64_t index) const {
    return ring[static_cast<size_t>(index % kRecall)];
}

FrameMark& ShotBoundaries::marked(int64_t index) {
    return marks[static_cast<size_t>(index % kRecall)];
}

const FrameMark& ShotBoundaries::mark(int64_t index) const {
    return marks[static_cast<size_t>(index % kRecall)];
}

void ShotBoundaries::newShot(int64_t from) {
    shot = nextShot++;
    shotStart = from;
    marked(from).shot = shot;
}

void ShotBoundaries::add(const Descriptors& frame) {
    const int64_t k = added++;
    ring[static_cast<size_t>(k % kRecall)] = frame;
    marked(k) = {shot, isJunkPicture(frame), false};
    if (k == 0)
        return;
    const double step = frameDifference(recalled(k - 1), frame);

    if (jumpAt >= 0) {
        if (frameDifference(recalled(jumpAt - 1), frame) < jumpThreshold) {
            // Back to the picture before the jump: a flash, in the same shot.
            for (int64_t j = jumpAt; j < k; ++j)
                marked(j) = {shotBeforeJump, true, false};
            shot = shotBeforeJump;
            shotStart = shotStartBeforeJump;
            marked(k).shot = shot;
            jumpAt = -1;
            calmFrom = k;
            return;
        }
        if (k - jumpAt < kFlashLongest)
            return;
        jumpAt = -1; // a cut after all
    }

    stepAt[static_cast<size_t>(k % kRecall)] = step;
    const double cut = threshold(steps);
    // A jump in the middle of a rise is a steep stretch of the transition.
    if (step >= cut && riseFrom >= 0) {
        checkTransition(k);
        return;
    }
    if (step >= cut) {
        // A fade or dissolve that ends in a jump began where the steps rose
        // above the recent ones.
        const double calm = kCutRatio * mean(steps);
        for (int64_t j = k - 1; j > shotStart && k - j <= kLongestTransition &&
                                stepAt[static_cast<size_t>(j % kRecall)] >= calm;
             --j)
            marked(j).boundary = true;
        shotBeforeJump = shot;
        shotStartBeforeJump = shotStart;
        newShot(k);
        jumpAt = k;
        jumpThreshold = cut;
        return;
    }
    remember(steps, step);
    checkTransition(k);
}

void ShotBoundaries::checkTransition(int64_t k) {
    // The span's first frame must lie in the shot and past any flash.
    if (k - std::max(shotStart, calmFrom) < kSpan)
        return;
    const double across = frameDifference(recalled(k - kSpan), recalled(k));
    if (riseFrom < 0) {
        const double rise = threshold(spans);
        if (across < rise) {
            remember(spans, across);
            return;
        }
        riseFrom = k - kSpan;
        riseThreshold = rise;
        riseSpans.assign(1, across);
        for (int64_t j = riseFrom + 1; j <= k; ++j)
            marked(j).boundary = true;
        return;
    }
    marked(k).boundary = true;
    riseSpans.push_back(across);
    // The rise starts a span before the transition and ends a span after it.
    const bool tooLong = k - riseFrom > kLongestTransition + 2 * kSpan;
    if (across >= riseThreshold && !tooLong)
        return;
    if (!tooLong && frameDifference(recalled(riseFrom), recalled(k)) >= riseThreshold) {
        // The ends are as far apart as across a cut: a dissolve or a fade.
        newShot(k);
        marked(k).boundary = true;
    } else {
        // Motion: the frames play, and the recent mean learns from them.
        for (int64_t j = riseFrom + 1; j <= k; ++j)
            marked(j).boundary = false;
        for (double v : riseSpans)
            remember(spans, v);
    }
    riseFrom = -1;
}

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
// ...and last up to a second. Across a span, a difference this large is a
// transition however much the shot moved before it (a pan that goes on
// longer than a transition is still motion).
constexpr int64_t kLongestTransition = 25;
constexpr double kSpanCeiling = 0.3;
// A frame is in a transition when it lies at least this share of the way
// from either end of it, or is one of the few frames next to those.
constexpr double kTransitionShare = 0.05;
constexpr int64_t kTransitionMargin = 2;

// Junk pictures. Flat: the luma of the 8 x 8 blocks spreads less than this
// many levels and the chroma has no structure (the activity of black is 0).
constexpr double kFlatSpread = 4.0;
constexpr double kFlatActivity = 2.0;
constexpr double kFlatPixelSpread = 16.0;
// Colour bars and test cards are bands of flat colour: blocks that agree to
// within this many levels in every channel make one band...
constexpr double kBandTolerance = 4.0;
// ...and neighbouring bands differ by at least this much in one channel.
constexpr double kBandStep = 20.0;
// Noise: pixels spread widely while the blocks' means differ hardly more
// than sampling alone makes them (or than a small share of that spread)...
constexpr double kNoisePixelSpread = 30.0;
constexpr double kNoiseBlockShare = 0.15;
constexpr double kNoiseSampling = 2.0;
// ...and those means move from one picture to the next by more than grain
// moves them on a still picture (a few hundredths of a level).
constexpr double kNoiseChange = 0.5;

constexpr int kSide = 8;

// Block (row, column) of channel c.
double block(const Descriptors& d, int c, int row, int column) {
    return d.blockMeans[c][kSide * column + row];
}

double largestChannelGap(const Descriptors& d, int rowA, int columnA, int rowB, int columnB) {
    double gap = 0.0;
    for (int c = 0; c < 3; ++c)
        gap = std::max(gap, std::abs(block(d, c, rowA, columnA) - block(d, c, rowB, columnB)));
    return gap;
}

// Bars that run down the picture: over at least half its height, at least
// half its columns are each one flat colour from top to bottom, with three
// or more clear steps from one such column to the next. Cards (testsrc,
// the SMPTE bars with their lower rows) have bars over part of the height or
// of the width only.
bool verticalBars(const Descriptors& d) {
    constexpr int kRows = kSide / 2;
    for (int top = 0; top + kRows <= kSide; ++top) {
        int steps = 0;
        int flatColumns = 0;
        int previous = -1;
        for (int column = 0; column < kSide; ++column) {
            bool flat = true;
            for (int row = top + 1; row < top + kRows && flat; ++row)
                flat = largestChannelGap(d, row, column, top, column) <= kBandTolerance;
            if (!flat)
                continue;
            ++flatColumns;
            if (previous >= 0 && largestChannelGap(d, top, previous, top, column) >= kBandStep)
                ++steps;
            previous = column;
        }
        if (flatColumns >= kSide / 2 && steps >= 3)
            return true;
    }
    return false;
}

// Stripes across the picture, each a ramp from one side to the other (the
// RGB test pattern): three or more pairs of equal rows whose brightness
// climbs or falls steadily across the width, each pair unlike the last.
bool rampStripes(const Descriptors& d) {
    int stripes = 0;
    int last = -1;
    for (int row = 0; row + 1 < kSide; ++row) {
        bool equal = true;
        for (int column = 0; column < kSide && equal; ++column)
            equal = largestChannelGap(d, row, column, row + 1, column) <= kBandTolerance;
        const double rise = block(d, 0, row, kSide - 1) - block(d, 0, row, 0);
        bool ramp = std::abs(rise) >= kBandStep;
        for (int column = 1; column < kSide && ramp; ++column)
            ramp = (block(d, 0, row, column) - block(d, 0, row, column - 1)) * rise > 0.0;
        if (!equal || !ramp)
            continue;
        bool unlike = last < 0;
        for (int column = 0; column < kSide && !unlike; ++column)
            unlike = largestChannelGap(d, row, column, last, column) >= kBandStep;
        if (unlike) {
            ++stripes;
            last = row;
        }
        ++row; // the pair's second row starts no pair
    }
    return stripes >= 3;
}

using Recent = std::vector<double>::const_iterator;

double mean(Recent from, Recent to) {
    return from == to ? 0.0 : std::accumulate(from, to, 0.0) / static_cast<double>(to - from);
}

double mean(const std::vector<double>& values) {
    return mean(values.begin(), values.end());
}

void remember(std::vector<double>& values, double value) {
    if (values.size() == kHistory)
        values.erase(values.begin());
    values.push_back(value);
}

double threshold(Recent from, Recent to) {
    return std::max(kCutFloor, kCutRatio * mean(from, to));
}

double threshold(const std::vector<double>& recent) {
    return threshold(recent.begin(), recent.end());
}

// The same for differences across the span, from those a span or more ago
// (a transition's own first spans rise slowly and must not raise it), and
// never above what motion within a shot reaches across a span.
double spanThreshold(const std::vector<double>& recent) {
    const Recent older = recent.size() > static_cast<size_t>(kSpan) ? recent.end() - kSpan : recent.end();
    return std::min(kSpanCeiling, threshold(recent.begin(), older));
}

// A change of light keeps the picture's layout: its blocks' brightness
// goes up or down together (correlated at least this much)...
constexpr double kSameLayout = 0.95;
// (a fade may go on while the camera moves: its steps correlate less).
constexpr double kAlikeLayout = 0.8;
// ...over enough structure to tell (a spread of this many levels)...
constexpr double kLayoutSpread = 8.0;
// ...and their colours stay within this many levels on average. A change
// of light from one picture to the next moves the brightness by this many
// levels at least (the steps of a dissolve are smaller).
constexpr double kSameColour = 6.0;
constexpr double kLightStep = 10.0;
// A fade to or from black brightens or darkens the picture by this many
// levels a frame at least, for this many frames at least, keeping its layout.
constexpr double kFadeStep = 2.0;
constexpr double kSteepFadeStep = 5.0;
constexpr int64_t kShortestFade = 3;
constexpr double kDarkest = 32.0; // the mean luma of a picture that is all but black

// How two pictures' layouts compare.
struct Layouts {
    bool shown = false;     // both have enough structure to tell
    bool same = false;      // their blocks' brightness correlates closely
    bool alike = false;     // or at least as the frames of a moving picture do
    bool sameColour = false;
    double brighter = 0.0; // how much brighter the second is on average
};

Layouts compare(const Descriptors& a, const Descriptors& b) {
    const double* x = a.blockMeans[0];
    const double* y = b.blockMeans[0];
    const double meanX = std::accumulate(x, x + 64, 0.0) / 64.0;
    const double meanY = std::accumulate(y, y + 64, 0.0) / 64.0;
    double xx = 0.0, yy = 0.0, xy = 0.0, colour = 0.0;
    for (int i = 0; i < 64; ++i) {
        xx += (x[i] - meanX) * (x[i] - meanX);
        yy += (y[i] - meanY) * (y[i] - meanY);
        xy += (x[i] - meanX) * (y[i] - meanY);
        for (int c = 1; c < 3; ++c)
            colour += std::abs(a.blockMeans[c][i] - b.blockMeans[c][i]) / 128.0;
    }
    const double least = kLayoutSpread * kLayoutSpread * 64.0;
    Layouts l;
    l.shown = xx >= least && yy >= least;
    l.same = l.shown && xy >= kSameLayout * std::sqrt(xx * yy);
    l.alike = l.shown && xy >= kAlikeLayout * std::sqrt(xx * yy);
    l.sameColour = colour <= kSameColour;
    l.brighter = meanY - meanX;
    return l;
}

// The same picture, perhaps under other light: not a new shot.
bool sameLayout(const Descriptors& a, const Descriptors& b) {
    const Layouts l = compare(a, b);
    return l.same && l.sameColour;
}

// A light switched on or off between two pictures.
bool relit(const Descriptors& a, const Descriptors& b) {
    const Layouts l = compare(a, b);
    return l.same && l.sameColour && std::abs(l.brighter) >= kLightStep;
}

// Black, or all but: the end of a fade to black.
bool dark(const Descriptors& d) {
    return std::accumulate(d.blockMeans[0], d.blockMeans[0] + 64, 0.0) / 64.0 < kDarkest;
}

// A step of a fade: b is a or a brighter or darker, as far as a picture too
// dark to show its layout tells. How much brighter goes to *brighter.
bool fadeStep(const Descriptors& a, const Descriptors& b, double* brighter) {
    const Layouts l = compare(a, b);
    *brighter = l.brighter;
    const bool steep = std::abs(l.brighter) >= kSteepFadeStep; // whatever the camera does
    return (l.alike || !l.shown || steep) && l.sameColour && std::abs(l.brighter) >= kFadeStep;
}

} // namespace

bool isJunkPicture(const Descriptors& picture, const Descriptors* previous) {
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

    const bool flat = blockSpread < kFlatSpread && picture.activity < kFlatActivity &&
                      pixelSpread < kFlatPixelSpread;
    if (flat || verticalBars(picture) || rampStripes(picture))
        return true;
    const double sampling = kNoiseSampling * pixelSpread / std::sqrt(samples / 64.0);
    const bool structureless = pixelSpread >= kNoisePixelSpread &&
                               blockSpread < std::max(kNoiseBlockShare * pixelSpread, sampling);
    if (!structureless || previous == nullptr)
        return structureless;
    double change = 0.0;
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 64; ++i)
            change += std::abs(picture.blockMeans[c][i] - previous->blockMeans[c][i]) / 192.0;
    return change > kNoiseChange;
}

ShotBoundaries::ShotBoundaries()
    : ring(kRecall), marks(kRecall), inFade(kRecall), stepAt(kRecall) {}

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
    relitAt = -1;
    fadeFrom = -1;
}

const Descriptors& ShotBoundaries::recalled(int64_t index) const {
    return ring[static_cast<size_t>(index % kRecall)];
}

FrameMark& ShotBoundaries::marked(int64_t index) {
    return marks[static_cast<size_t>(index % kRecall)];
}

FrameMark ShotBoundaries::mark(int64_t index) const {
    FrameMark m = marks[static_cast<size_t>(index % kRecall)];
    m.boundary |= inFade[static_cast<size_t>(index % kRecall)];
    return m;
}

void ShotBoundaries::newShot(int64_t from) {
    shot = nextShot++;
    shotStart = from;
    marked(from).shot = shot;
}

void ShotBoundaries::add(const Descriptors& frame, bool slate) {
    const int64_t k = added++;
    ring[static_cast<size_t>(k % kRecall)] = frame;
    marked(k) = {shot, slate || isJunkPicture(frame, k > 0 ? &recalled(k - 1) : nullptr), false};
    inFade[static_cast<size_t>(k % kRecall)] = false;
    if (k == 0)
        return;
    const double step = frameDifference(recalled(k - 1), frame);
    followFade(k);

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
    if (step >= cut && relit(recalled(k - 1), frame)) {
        // A light switched on or off: the shot goes on.
        relitAt = k;
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

void ShotBoundaries::followFade(int64_t k) {
    double brighter = 0.0;
    const bool step = fadeStep(recalled(k - 1), recalled(k), &brighter);
    const bool fading = step && (fadeFrom < 0 || (brighter > 0.0) == fadeBrightens);
    if (fading && fadeFrom < 0) {
        fadeFrom = k - 1;
        fadeBrightens = brighter > 0.0;
    }
    if (fading || fadeFrom < 0)
        return;
    endFade(k);
    // Out of black straight after going into it: the next fade begins.
    if (step) {
        fadeFrom = k - 1;
        fadeBrightens = brighter > 0.0;
    }
}

void ShotBoundaries::endFade(int64_t k) {
    // Frames [fadeFrom, k) brightened or darkened steadily: a fade when it
    // comes out of black or goes into it.
    const bool black = dark(recalled(fadeBrightens ? fadeFrom : k - 1));
    if (k - fadeFrom >= kShortestFade && black)
        for (int64_t j = std::max(fadeFrom, k - kRecall + 1); j < k; ++j)
            inFade[static_cast<size_t>(j % kRecall)] = true;
    fadeFrom = -1;
}

void ShotBoundaries::checkTransition(int64_t k) {
    // The span's first frame must lie in the shot and past any flash.
    if (k - std::max(shotStart, calmFrom) < kSpan)
        return;
    const double across = frameDifference(recalled(k - kSpan), recalled(k));
    if (riseFrom < 0) {
        const double rise = spanThreshold(spans);
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
    if (!tooLong && relitAt <= riseFrom &&
        frameDifference(recalled(riseFrom), recalled(k)) >= riseThreshold &&
        !sameLayout(recalled(riseFrom), recalled(k))) {
        // The ends are as far apart as across a cut: a dissolve or a fade.
        // It lies where the pictures are far from both ends; the frames the
        // span took in on either side of it play, those after it in the shot
        // it leads to.
        const double apart = kTransitionShare * frameDifference(recalled(riseFrom), recalled(k));
        auto inside = [&](int64_t j) {
            return frameDifference(recalled(riseFrom), recalled(j)) >= apart &&
                   frameDifference(recalled(j), recalled(k)) >= apart;
        };
        int64_t first = riseFrom + 1;
        while (first < k && !inside(first))
            ++first;
        int64_t last = k;
        while (last > first && !inside(last))
            --last;
        first = std::max(riseFrom + 1, first - kTransitionMargin);
        last = std::min(k, last + kTransitionMargin);
        for (int64_t j = riseFrom + 1; j < first; ++j)
            marked(j).boundary = false;
        newShot(std::min(last + 1, k));
        for (int64_t j = last + 1; j <= k; ++j)
            marked(j) = {shot, marked(j).junk, false};
    } else {
        // Motion: the frames play, and the recent mean learns from them.
        for (int64_t j = riseFrom + 1; j <= k; ++j)
            marked(j).boundary = false;
        for (double v : riseSpans)
            remember(spans, v);
    }
    riseFrom = -1;
    relitAt = -1;
}

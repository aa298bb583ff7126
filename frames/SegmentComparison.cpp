// Measures on whole fragments, all built on frameDifference and the
// per-frame descriptors; each is cached in the buffer once computed.

#include "FrameBuffer.h"

#include "Messages.h"
#include "SegmentDistanceMemo.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr const char* kGetComparisonDistance = "\nComparison Difference: %d [n1:%d n2:%d]";
constexpr const char* kGetComparisonTooFar =
    "\nWARNING(FrameBuffer::getComparison) : SMALL COMPARISON LIST SIZE 2";
constexpr const char* kSetComparisonTooFar =
    "\nWARNING(FrameBuffer::setComparison) : SMALL COMPARISON LIST SIZE 1";

constexpr double kNoNearest = 99999.0;
constexpr int kVariationStride = 4;
constexpr int kDescriptorStride = 10;

// A value for each sampled frame of a fragment, or each pair of them.
// Fragments hold 25 frames, 13 sampled; larger ones take their room from the
// heap.
struct SampleRoom {
    explicit SampleRoom(int count) {
        if (count > static_cast<int>(nearby.size())) {
            far.resize(count);
            values = far.data();
        }
    }
    SampleRoom(const SampleRoom&) = delete;
    SampleRoom& operator=(const SampleRoom&) = delete;

    std::array<double, 13 * 13> nearby;
    std::vector<double> far;
    double* values = nearby.data();
};

} // namespace

double FrameBuffer::getComparison(const FrameBuffer* a, const FrameBuffer* b) {
    int d = a->number - b->number;
    if (d == 0)
        return 0.0;
    if (d < 0) {
        std::swap(a, b);
        d = -d;
    }
    if (d >= COMPARISON_LIST_SIZE) {
        engineMessage(MessageStream::Output, kGetComparisonDistance, d, a->number, b->number);
        engineMessage(MessageStream::Output, "%s", kGetComparisonTooFar);
        return -1.0;
    }
    const ComparisonEntry& entry = std::as_const(a->comparisonList)[d];
    return entry.valid ? entry.value : -1.0;
}

bool FrameBuffer::setComparison(FrameBuffer* other, double value) {
    const int d = number - other->number;
    if (d >= COMPARISON_LIST_SIZE) {
        engineMessage(MessageStream::Output, "%s", kSetComparisonTooFar);
        return false;
    }
    if (d > 0) {
        comparisonList[d] = {1, value};
        return true;
    }
    // A buffer's distance to itself is never stored (and handing the pair
    // over would never end).
    if (d == 0)
        return false;
    other->setComparison(this, value);
    return false;
}

SegmentDistanceMemo* FrameBuffer::sharedMemo(const FrameBuffer* a, const FrameBuffer* b) {
    if (a->distanceMemo != b->distanceMemo || a->comparedFrames() == 0 || b->comparedFrames() == 0)
        return nullptr;
    return a->distanceMemo;
}

bool FrameBuffer::recallDistance(FrameBuffer* newer, FrameBuffer* older) {
    const int d = newer->number - older->number;
    if (d <= 0 || d >= COMPARISON_LIST_SIZE || getComparison(newer, older) != -1.0)
        return true;
    const SegmentDistanceMemo* memo = sharedMemo(newer, older);
    const std::optional<double> known = memo ? memo->find(*newer, *older) : std::nullopt;
    if (known)
        newer->setComparison(older, *known);
    return known.has_value();
}

void FrameBuffer::keepMeasured(FrameBuffer* newer, FrameBuffer* older, double distance) {
    if (SegmentDistanceMemo* memo = sharedMemo(newer, older))
        memo->keep(*newer, *older, distance);
    newer->setComparison(older, distance);
}

double FrameBuffer::segmentDistance(const FrameBuffer* a, const FrameBuffer* b) {
    SegmentDistanceMemo* memo = sharedMemo(a, b);
    if (memo == nullptr)
        return measureDistance(a, b);
    if (const std::optional<double> known = memo->find(*a, *b))
        return *known;
    const double distance = measureDistance(a, b);
    memo->keep(*a, *b, distance);
    return distance;
}

double FrameBuffer::measureDistance(const FrameBuffer* a, const FrameBuffer* b) {
    // Every second frame of each, from the first.
    const int sampledA = (a->comparedFrames() + 1) / 2;
    const int sampledB = (b->comparedFrames() + 1) / 2;
    if (sampledA + sampledB == 0)
        return kNoNearest;

    const DifferenceRow& rowA = a->sampledRow();
    const DifferenceRow& rowB = b->sampledRow();
    SampleRoom columns(sampledB);
    SampleRoom differences(sampledA * sampledB);
    double* colMin = columns.values;
    rowB.differences(rowA, differences.values);
    std::fill_n(colMin, sampledB, kNoNearest);
    double sum = 0.0;
    for (int p = 0; p < sampledA; ++p) {
        double rowMin = kNoNearest;
        const double* row = differences.values + p * sampledB;
        for (int q = 0; q < sampledB; ++q) {
            const double d = row[q];
            rowMin = std::min(rowMin, d);
            colMin[q] = std::min(colMin[q], d);
        }
        sum += rowMin;
    }
    for (int q = 0; q < sampledB; ++q)
        sum += colMin[q];
    return sum / (sampledA + sampledB);
}

double FrameBuffer::getVariation() {
    if (variationComputed)
        return variation;
    const int n = count();
    if (n == 0) {
        variation = 0.0;
        variationComputed = maxDifferenceComputed = true;
        return variation;
    }

    // One pair in four, (0, 1), (4, 5), ..., and the first frame against the
    // frame the sampling ends on.
    int at = 0;
    double sum = 0.0;
    int pairs = 0;
    for (int k = 0; k < n; k += kVariationStride) {
        if (at + 1 < n) {
            const double d = frameDifference(frames[at], frames[at + 1]);
            maxPairDifference = std::max(maxPairDifference, d);
            sum += d;
            ++pairs;
        }
        at = std::min(at + kVariationStride, n - 1);
    }
    const double ends = frameDifference(frames[0], frames[at]);
    // One frame has no consecutive pair: its mean pair difference counts as 0.
    const double meanPair = pairs > 0 ? sum / pairs : 0.0;
    variation = 0.6 * ends + 0.4 * meanPair;
    variationComputed = maxDifferenceComputed = true;
    return variation;
}

bool FrameBuffer::hasStrongChange() {
    if (!maxDifferenceComputed)
        getVariation();
    if (frames.empty())
        return false;
    const double ends = frameDifference(frames.front(), frames.back());
    const double c = getVariation();
    const double s = std::sqrt(c * c + maxPairDifference * maxPairDifference);
    return s >= 0.25 || s + ends > 0.5 || ends > 0.2;
}

double FrameBuffer::getMeanColorCount() {
    if (colorCountComputed)
        return meanColorCount;
    double sum = 0.0;
    int sampled = 0;
    for (int k = 0; k < count(); k += kDescriptorStride) {
        sum += frames[k].getColorCount();
        ++sampled;
    }
    // An empty buffer has no colours rather than 0/0 of them.
    meanColorCount = sampled > 0 ? sum / sampled : 0.0;
    colorCountComputed = true;
    return meanColorCount;
}

double FrameBuffer::getMinActivity() {
    if (minActivityComputed)
        return minActivity;
    double least = 0.0;
    for (int k = 0; k < count(); k += kDescriptorStride) {
        const double a = frames[k].getActivity();
        least = k == 0 ? a : std::min(least, a);
    }
    minActivity = least;
    minActivityComputed = true;
    return minActivity;
}

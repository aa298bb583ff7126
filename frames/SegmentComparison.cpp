// Measures on whole fragments, all built on frameDifference and the
// per-frame descriptors; each is cached in the buffer once computed.

#include "FrameBuffer.h"

#include "Messages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

constexpr const char* kGetComparisonDistance = "\nComparison Difference: %d [n1:%d n2:%d]";
constexpr const char* kGetComparisonTooFar =
    "\nWARNING(FrameBuffer::getComparison) : SMALL COMPARISON LIST SIZE 2";
constexpr const char* kSetComparisonTooFar =
    "\nWARNING(FrameBuffer::setComparison) : SMALL COMPARISON LIST SIZE 1";

constexpr double kNoNearest = 99999.0;
constexpr int kVariationStride = 4;
constexpr int kDescriptorStride = 10;

Frame* advance(Frame* frame, int links) {
    for (int k = 0; k < links && frame->next != nullptr; ++k)
        frame = frame->next;
    return frame;
}

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

double FrameBuffer::segmentDistance(FrameBuffer* a, FrameBuffer* b) {
    const int sampledA = (std::min(a->count, a->frameTable.capacity()) + 1) / 2;
    const int sampledB = (std::min(b->count, b->frameTable.capacity()) + 1) / 2;
    if (sampledA + sampledB == 0)
        return kNoNearest;

    std::array<double, (FRAME_TABLE_SIZE + 1) / 2> colMin;
    std::fill_n(colMin.begin(), sampledB, kNoNearest);
    double sum = 0.0;
    for (int p = 0; p < sampledA; ++p) {
        double rowMin = kNoNearest;
        for (int q = 0; q < sampledB; ++q) {
            const double d = frameDifference(a->frameTable[2 * p], b->frameTable[2 * q]);
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
    if (count == 0) {
        variation = 0.0;
        variationComputed = maxDifferenceComputed = true;
        return variation;
    }

    Frame* cur = first;
    double sum = 0.0;
    int pairs = 0;
    for (int k = 0; k < count; k += kVariationStride) {
        if (cur->next != nullptr) {
            const double d = frameDifference(cur, cur->next);
            maxPairDifference = std::max(maxPairDifference, d);
            sum += d;
            ++pairs;
        }
        cur = advance(cur, kVariationStride);
    }
    const double ends = frameDifference(first, cur);
    // One frame has no consecutive pair: its mean pair difference counts as 0.
    const double meanPair = pairs > 0 ? sum / pairs : 0.0;
    variation = 0.6 * ends + 0.4 * meanPair;
    variationComputed = maxDifferenceComputed = true;
    return variation;
}

bool FrameBuffer::hasStrongChange() {
    if (!maxDifferenceComputed)
        getVariation();
    if (count == 0)
        return false;
    const double ends = frameDifference(first, advance(first, count - 1));
    const double c = getVariation();
    const double s = std::sqrt(c * c + maxPairDifference * maxPairDifference);
    return s >= 0.25 || s + ends > 0.5 || ends > 0.2;
}

double FrameBuffer::getMeanColorCount() {
    if (colorCountComputed)
        return meanColorCount;
    double sum = 0.0;
    int sampled = 0;
    Frame* frame = first;
    for (int k = 0; k < count && frame != nullptr; ++k, frame = frame->next)
        if (k % kDescriptorStride == 0) {
            sum += frame->getColorCount();
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
    Frame* frame = first;
    for (int k = 0; k < count && frame != nullptr; ++k, frame = frame->next)
        if (k % kDescriptorStride == 0) {
            const double a = frame->getActivity();
            least = k == 0 ? a : std::min(least, a);
        }
    minActivity = least;
    minActivityComputed = true;
    return minActivity;
}

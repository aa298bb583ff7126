#include "TreeTestSupport.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int64_t> live{0};
}

// Counting every allocation of the program lets a test see that a reset or a
// collapse gives back exactly what the tree held.
void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    ++live;
    return p;
}

void operator delete(void* p) noexcept {
    if (!p)
        return;
    --live;
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

int64_t liveAllocations() {
    return live.load();
}

void setWeights(SummaryTree& tree, double length, double continuity, double redundancy,
                double activity) {
    tree.weights.length = length;
    tree.weights.continuity = continuity;
    tree.weights.redundancy = redundancy;
    tree.weights.activity = activity;
}

FrameBuffer* makeFragment(int frames, double variation, int length) {
    auto* fragment = new FrameBuffer(25);
    for (int i = 0; i < frames; ++i) {
        auto* frame = new Frame;
        frame->width = 64;
        frame->height = 48;
        frame->histogram[0][4] = 100.0;
        frame->histogram[1][8] = 100.0;
        frame->histogram[2][8] = 100.0;
        frame->histogramComputed = true;
        frame->colorLayoutComputed = true;
        frame->mode = HISTOGRAM_MODE;
        fragment->addFrame(frame);
    }
    fragment->length = length < 0 ? frames : length;
    fragment->variation = variation;
    fragment->variationComputed = true;
    fragment->maxPairDifference = 0.0;
    fragment->maxDifferenceComputed = true;
    return fragment;
}

void setDistance(FrameBuffer* newer, int32_t newerNumber, int32_t olderNumber, double value) {
    newer->comparisonList[newerNumber - olderNumber] = {1, value};
}

void setJunkMeasures(FrameBuffer* fragment, double minActivity, double meanColorCount) {
    fragment->minActivity = minActivity;
    fragment->minActivityComputed = true;
    fragment->meanColorCount = meanColorCount;
    fragment->colorCountComputed = true;
}

int countDescendants(const TreeNode* node) {
    int n = 0;
    for (const TreeNode* child : {node->includeChild, node->excludeChild})
        if (child)
            n += 1 + countDescendants(child);
    return n;
}

const TreeNode* childOfCurrentAbove(const SummaryTree& tree, const TreeNode* node) {
    for (; node; node = node->parent)
        if (node->parent == tree.current)
            return node;
    return nullptr;
}

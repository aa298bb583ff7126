#pragma once

// Fragments for the tree's tests, their measures and distances set by hand.

#include "FrameBuffer.h"
#include "SummaryTree.h"

#include <memory>

// A fragment of `frames` described frames without pictures, all alike, so
// any distance that a test does not set is 0.
inline std::unique_ptr<FrameBuffer> makeFragment(int frames, double variation) {
    auto fragment = std::make_unique<FrameBuffer>(25);
    for (int i = 0; i < frames; ++i) {
        Frame frame;
        Descriptors& d = frame.descriptors;
        d.histogram[0][4] = d.histogram[1][8] = d.histogram[2][8] = 100.0;
        d.derive();
        fragment->addFrame(frame);
    }
    fragment->length = frames;
    fragment->variation = variation;
    fragment->variationComputed = fragment->maxDifferenceComputed = true;
    return fragment;
}

// Stores the distance between `newer` (which will be numbered newerNumber
// when inserted) and the fragment numbered olderNumber.
inline void setDistance(FrameBuffer* newer, int newerNumber, int olderNumber, double value) {
    newer->comparisonList[newerNumber - olderNumber] = {1, value};
}

// Inserts the fragment, which the tree owns from then on.
inline FrameBuffer* insert(SummaryTree& tree, std::unique_ptr<FrameBuffer> fragment,
                           bool included) {
    FrameBuffer* inserted = fragment.get();
    tree.addFragment(std::move(fragment), included);
    return inserted;
}

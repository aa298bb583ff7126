#pragma once

// Fragments whose distances the test chooses, and the weights the ranking reads.

#include "FrameBuffer.h"
#include "SummaryTree.h"

#include <cstdint>

// The four weights of the tree's ranking (its target stays).
void setWeights(SummaryTree& tree, double length, double continuity, double redundancy,
                double activity);

// A fragment of `frames` described frames without pictures, all alike, so
// any distance that a test does not set is 0. `length` defaults to `frames`.
FrameBuffer* makeFragment(int frames, double variation, int length = -1);

// Stores the distance between `newer` (which will be numbered newerNumber
// when inserted) and the fragment numbered olderNumber.
void setDistance(FrameBuffer* newer, int32_t newerNumber, int32_t olderNumber, double value);

// Classification measures read by the junk filter, set directly.
void setJunkMeasures(FrameBuffer* fragment, double minActivity, double meanColorCount);

// Nodes of the subtree below node, node excluded.
int countDescendants(const TreeNode* node);

// The child of tree.current that node lies below, or null.
const TreeNode* childOfCurrentAbove(const SummaryTree& tree, const TreeNode* node);

// Live heap allocations made through operator new in this test program.
int64_t liveAllocations();

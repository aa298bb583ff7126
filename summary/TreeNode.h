#pragma once

// One include / leave-out choice for one fragment of the summary tree. The
// path from the start node to a leaf is one candidate summary; its measures
// are kept per node so that a child costs a constant amount of work.

#include "SummarySettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class FrameBuffer;

class TreeNode {
public:
    explicit TreeNode(int32_t level);
    // Frees the subtree below, without recursion.
    ~TreeNode();
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    // The tree makes and frees nodes by the ten thousand per fragment: each
    // thread recycles the nodes it frees (up to a bound) instead of going
    // back to the heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* node) noexcept;
    // Nodes allocated and not yet freed by the calling thread.
    static int64_t liveNodes();

    // Recomputes the path counts and measures (when not yet computed, or
    // always with force) and, with recurse, those of the whole subtree.
    // Scores are left alone.
    void rescore(bool force, bool recurse, double targetLength);
    // Deletes every descendant and marks the node collapsed; false (with a
    // warning) when it already was. Fragments are not touched.
    bool collapase();
    // Deletes every descendant. Fragments are not touched.
    void deleteSubtree();

    // The path counts from the parent, then the redundancy, continuity,
    // length and activity measures in that order. scratch is working room
    // for the redundancy walk.
    void computeMeasures(double targetLength, std::vector<TreeNode*>& scratch);

    std::unique_ptr<TreeNode> includeChild;
    std::unique_ptr<TreeNode> excludeChild;
    TreeNode* parent = nullptr;
    bool selected = false;
    FrameBuffer* fragment = nullptr; // owned by the SummaryTree
    bool included = false;
    bool collapsed = false;
    bool scoresComputed = false;
    int32_t totalFrames = 0;
    int32_t summaryFrames = 0;
    int32_t includedCount = 0;
    int32_t joinCount = 0;
    int32_t cutCount = 0;
    int32_t level = 0;
    double score = 0.0;
    double tieScore = 0.0;
    TreeNode* lastIncluded = nullptr;
    double lengthScore = 0.0;
    double redundancyScore = 0.0;
    double continuityScore = 0.0;
    double activityScore = 0.0;
    // Shot-aware ranking only: the gains of the fragments kept on the path,
    // and the weighted ranking's score, which then only breaks ties.
    double shotGain = 0.0;
    double pathScore = 0.0;

    // Distances of the fragment at level redundancyLevel to this node's
    // fragment and to those of its included ancestors in reach: the same for
    // every node of that level, so it is worked out once per ancestor.
    int32_t redundancyLevel = -1;
    int32_t redundancyCount = 0;
    double redundancySum = 0.0;
    double redundancyMin = 0.0;

    // An ancestor a few levels up, so that a far ancestor is reached in
    // fewer steps than along parent links.
    TreeNode* jump = nullptr;
    // Which child of the current root this node lies below, as found by the
    // search numbered sideSearch.
    uint32_t sideSearch = 0;
    TreeNode* side = nullptr;
};

// Ancestors more levels up than this do not count for redundancy.
constexpr int32_t REDUNDANCY_REACH = 1000;

// How many frames a candidate of totalFrames may keep more or fewer than its
// target and still be on target: a quarter of the target's length, or of what
// the target leaves out if that is less, and never less than one fragment
// unless the target leaves less than that out (at 1.0, nothing).
double lengthTolerance(int32_t totalFrames, double targetLength, int32_t fragmentFrames);

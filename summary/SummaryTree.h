#pragma once

// The tree of include / leave-out choices that decides, fragment by
// fragment, which fragments go into the summary. It owns every fragment
// inserted since the last reset and every node.

#include "NodeList.h"
#include "SummarySettings.h"
#include "TreeNode.h"

#include <cstdint>
#include <memory>
#include <vector>

class DistanceHelper;
class FrameBuffer;

class SummaryTree {
public:
    explicit SummaryTree(const RankingWeights& weights = {});
    ~SummaryTree();
    SummaryTree(const SummaryTree&) = delete;
    SummaryTree& operator=(const SummaryTree&) = delete;

    // Takes the fragment and inserts it as a new level: every
    // listed leaf gets an include child (when allowed) and a leave-out child
    // (unless leaving the fragment out puts it short of its target length by
    // more than lengthTolerance); the new leaves are scored and sorted best
    // first.
    void addFragment(std::unique_ptr<FrameBuffer> fragment, bool includeAllowed);
    // Classifies the fragment as junk or not, then inserts it; a junk
    // fragment gets leave-out children only.
    void addFragmentFiltered(std::unique_ptr<FrameBuffer> fragment);
    // For when no fragment will follow and every leaf is a whole summary:
    // moves the best leaf whose length is on its target to the front of the
    // list, or the nearest one when none is, for the root to advance towards.
    void preferLeafOnTarget();
    // No fragment will follow: shot-aware scores hold the leaves to their
    // target exactly from now on (see shotAwareScore), and the levels below
    // the root are grown again so (about nodeLimit leaves kept, as by
    // pruneLeaves).
    void regrowToTheEnd(uint32_t nodeLimit);
    // Listed leaves that are not collapsed.
    uint32_t liveLeafCount() const;
    // Keeps about limit leaves (limit + 1 at most), best first, taking turns
    // between the two sides of the current root and keeping siblings together.
    // The others are deleted, with every node that no kept leaf lies below.
    void pruneLeaves(uint32_t limit);
    // Keeps the child of the current root on the best leaf's path and
    // deletes the other one with its subtree.
    void decideRoot();
    // Moves the current root one level down. Returns the fragment of the
    // node left behind (null for the start node or when the root cannot
    // move) and then sets included to that node's choice.
    FrameBuffer* advanceRoot(bool& included);
    // Frees every node and fragment and starts over with an empty tree.
    void resetTree();

    // Best first: score, then tieScore, both descending. Not stable.
    static void sortByScore(NodeList& list);

    // Fragments inserted below the current root.
    int32_t depth() const {
        return levelsAdded > levelsAdvanced ? levelsAdded - levelsAdvanced : 0;
    }

    std::unique_ptr<TreeNode> root;
    TreeNode* current = nullptr;
    NodeList leaves;
    int32_t levelsAdded = 0;
    int32_t levelsAdvanced = 0;
    double maxLengthScore = -999.0;
    double minLengthScore = 999.0;
    double maxRedundancyScore = -999.0;
    double minRedundancyScore = 999.0;
    double maxContinuityScore = -999.0;
    double minContinuityScore = 999.0;
    double maxActivityScore = -999.0;
    double minActivityScore = 999.0;
    // Every fragment inserted since the last reset, in order: the one of
    // level k at k - 1.
    std::vector<std::unique_ptr<FrameBuffer>> fragments;
    int32_t nextFragmentId = 0;
    // Read whenever measures or scores are computed; a change of them means a
    // new tree (resetTree), as the scores already given were computed with the old.
    RankingWeights weights;
    // A second thread for the comparisons of each new level, or none (the
    // caller's; it outlives the tree's use of it).
    DistanceHelper* helper = nullptr;

private:
    void start();
    // The fragment's level below the leaves (see addFragment).
    void growLevel(FrameBuffer* fragment, bool includeAllowed);
    // Kept fragments so far behind the current root that no fragment to come
    // is compared with them give up their frames: a summary of a long video
    // holds those of REDUNDANCY_REACH fragments at most, not of every one kept.
    void forgetFramesOutOfReach();
    void freeAll();
    // Measures the distances the include children of the new level will ask
    // for, on the helper's thread and this one, before they are made.
    void measureAhead(FrameBuffer* fragment, int32_t level);
    TreeNode* addChild(TreeNode* leaf, bool included, FrameBuffer* fragment, double targetLength,
                       NodeList& newLeaves);
    void foldExtremes(const TreeNode* node);
    void scoreLeaves();
    // The child of current that node lies below, or null when it lies below
    // none.
    TreeNode* sideOf(TreeNode* node);
    void dropLeaf(TreeNode* leaf);
    [[noreturn]] void brokenTree();

    bool streamEnded = false;
    // Once it has: the level of the last fragment. Whole utterances are held
    // to their target exactly there only, as a candidate that keeps pace with
    // pauses would be preferred to one that waits for an utterance before.
    int32_t lastLevel = 0;
    int64_t framesToTheEnd = 0; // of the whole video, from the start of the tree
    uint32_t sideSearch = 0;
    const TreeNode* sideSearchRoot = nullptr;
    std::vector<TreeNode*> scratch;
    // The fragments before this one have given up their frames.
    size_t framesKeptFrom = 0;
    std::vector<FrameBuffer*> aheadOlder;
    std::vector<double> aheadDistances;
};

// What a fragment keeps once the root has advanced past it: a kept fragment
// keeps what comparing later fragments with it reads (its sampled pictures'
// points, not its frames' descriptors); a left-out one is never compared
// again and keeps only its record. Neither needs its own distance list any
// more.
void retireDecidedFragment(FrameBuffer* fragment, bool included);

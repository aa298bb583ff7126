// The summary tree: the junk filter, pruning, deciding and advancing the
// root, freeing, and holding the target length.

#include "SummaryTree.h"
#include "FrameBuffer.h"
#include "SegmentDistanceMemo.h"
#include "TreeFragments.h"
#include "TreeNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// The measures the junk filter reads, set directly.
void setJunkMeasures(FrameBuffer* fragment, double minActivity, double meanColorCount) {
    fragment->minActivity = minActivity;
    fragment->meanColorCount = meanColorCount;
    fragment->minActivityComputed = fragment->colorCountComputed = true;
}

// Nodes of the subtree below node, node excluded.
int countDescendants(const TreeNode* node) {
    int n = 0;
    for (const TreeNode* child : {node->includeChild.get(), node->excludeChild.get()})
        if (child)
            n += 1 + countDescendants(child);
    return n;
}

// The child of tree.current that node lies below, or null.
const TreeNode* childOfCurrentAbove(const SummaryTree& tree, const TreeNode* node) {
    for (; node; node = node->parent)
        if (node->parent == tree.current)
            return node;
    return nullptr;
}

std::unique_ptr<FrameBuffer> randomFragment(std::mt19937& random, int number) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto f = makeFragment(25, unit(random));
    for (int older = 0; older < number; ++older)
        setDistance(f.get(), number, older, unit(random));
    return f;
}

TEST(Insertion, TheJunkFilterKeepsJunkOutOfEverySummary) {
    struct Case {
        double minActivity, meanColourCount, variation;
        bool junk;
    };
    SummaryTree tree;
    // One colour (a flat frame), too little or too much activity, a strong
    // change inside; two colours are a scene of one tone, not junk.
    for (const Case& c :
         {Case{10.0, 5.0, 0.1, false}, Case{10.0, 1.0, 0.1, true}, Case{1.9, 5.0, 0.1, true},
          Case{1000.5, 5.0, 0.1, true}, Case{10.0, 5.0, 0.3, true}}) {
        auto owned = makeFragment(25, c.variation);
        FrameBuffer* f = owned.get();
        setJunkMeasures(f, c.minActivity, c.meanColourCount);
        tree.addFragmentFiltered(std::move(owned));
        EXPECT_TRUE(f->classified);
        EXPECT_EQ(f->junk, c.junk)
            << c.minActivity << " " << c.meanColourCount << " " << c.variation;
        EXPECT_EQ(tree.liveLeafCount(), 2u); // only the good first fragment doubled the leaves
    }
}

TEST(Pruning, KeepsAboutTheLimitBestFirstWithSiblingsAndBothSidesInTurn) {
    SummaryTree tree;
    std::mt19937 random(7);
    for (int i = 0; i < 8; ++i)
        tree.addFragment(randomFragment(random, i), true);
    tree.pruneLeaves(200);
    tree.addFragment(randomFragment(random, 8), true);
    ASSERT_EQ(tree.liveLeafCount(), 400u);
    const std::set<const TreeNode*> before(tree.leaves.begin(), tree.leaves.end());
    const TreeNode* best = tree.leaves[0];
    tree.pruneLeaves(100);

    const uint32_t n = tree.leaves.size();
    EXPECT_TRUE(n == 100 || n == 101) << n;
    const std::set<const TreeNode*> kept(tree.leaves.begin(), tree.leaves.end());
    EXPECT_EQ(kept.size(), n);
    EXPECT_TRUE(kept.count(best));
    int bySide[2] = {0, 0};
    for (const TreeNode* leaf : kept) {
        EXPECT_TRUE(before.count(leaf));
        const TreeNode* p = leaf->parent;
        EXPECT_TRUE(
            kept.count((leaf == p->includeChild.get() ? p->excludeChild : p->includeChild).get()));
        const TreeNode* side = childOfCurrentAbove(tree, leaf);
        ASSERT_NE(side, nullptr);
        ++bySide[side == tree.current->includeChild.get() ? 0 : 1];
    }
    EXPECT_LE(std::abs(bySide[0] - bySide[1]), 2) << bySide[0] << " / " << bySide[1];
    for (uint32_t i = 1; i < n; ++i)
        EXPECT_GE(tree.leaves[i - 1]->score, tree.leaves[i]->score);
    // What is left out is gone: every node below the root leads to a kept leaf.
    std::set<const TreeNode*> onKeptPaths;
    for (const TreeNode* node : kept)
        for (; node != tree.current && onKeptPaths.insert(node).second; node = node->parent) {
        }
    EXPECT_EQ(countDescendants(tree.current), static_cast<int>(onKeptPaths.size()));

    // With one side decided away, the other alone still fills the limit.
    tree.decideRoot();
    tree.pruneLeaves(50);
    EXPECT_EQ(tree.leaves.size(), 50u);
}

TEST(Advancing, DecidingFreesTheLosingBranchAndAdvancingHandsOverTheChoice) {
    SummaryTree tree({0.05, 0.0, 0.1, 0.0, 0.0}); // continuity alone: leaving out ranks best
    std::mt19937 random(11);
    for (int i = 0; i < 3; ++i)
        tree.addFragment(randomFragment(random, i), true);
    const int64_t before = TreeNode::liveNodes();
    const int64_t loser = 1 + countDescendants(tree.root->includeChild.get());
    tree.decideRoot();
    EXPECT_EQ(TreeNode::liveNodes(), before - loser);
    EXPECT_EQ(tree.root->includeChild, nullptr);
    ASSERT_EQ(tree.leaves.size(), 4u);
    for (const TreeNode* leaf : tree.leaves)
        EXPECT_EQ(childOfCurrentAbove(tree, leaf), tree.root->excludeChild.get());
    tree.decideRoot(); // one live child: nothing to decide
    EXPECT_EQ(tree.leaves.size(), 4u);

    bool included = true;
    EXPECT_EQ(tree.advanceRoot(included), nullptr); // the start node has no fragment
    EXPECT_TRUE(included);
    EXPECT_EQ(tree.current, tree.root->excludeChild.get());
    tree.decideRoot();
    EXPECT_EQ(tree.advanceRoot(included), tree.fragments[0].get());
    EXPECT_FALSE(included);
    EXPECT_EQ(tree.depth(), 1);
}

TEST(ResetTree, FreesEveryNodeAndStartsOver) {
    // Leaks of fragments are LeakSanitizer's to find; nodes are counted here.
    SummaryTree tree;
    ASSERT_EQ(TreeNode::liveNodes(), 1);
    std::mt19937 random(3);
    for (int i = 0; i < 12; ++i) {
        tree.addFragment(randomFragment(random, i), i % 3 != 0);
        if (tree.liveLeafCount() > 40)
            tree.pruneLeaves(40);
        if (tree.depth() >= 6) {
            bool included = false;
            tree.decideRoot();
            tree.advanceRoot(included);
        }
    }
    ASSERT_GT(tree.levelsAdvanced, 0);
    tree.resetTree();
    EXPECT_EQ(TreeNode::liveNodes(), 1);
    FrameBuffer* again = insert(tree, makeFragment(25, 0.1), true);
    EXPECT_EQ(again->number, 0);
    EXPECT_EQ(tree.liveLeafCount(), 2u); // below the new root alone
    EXPECT_EQ(tree.depth(), 1);
}

TEST(TreeNode, DeletingAVeryDeepChainDoesNotRecurse) {
    // The decided path of a long summary: one child per level.
    const int64_t before = TreeNode::liveNodes();
    auto top = std::make_unique<TreeNode>(0);
    TreeNode* last = top.get();
    for (int i = 1; i <= 200000; ++i) {
        last->excludeChild = std::make_unique<TreeNode>(i);
        last->excludeChild->parent = last;
        last = last->excludeChild.get();
    }
    top->deleteSubtree();
    EXPECT_EQ(TreeNode::liveNodes(), before + 1);
}

TEST(TreeNode, ForcedRescoreRecountsTheSubtreeOfARootMadeIncluded) {
    // At the end of the video the root is taken as included and the rest rescored.
    SummaryTree tree({0.05, 0.0, 0.1, 0.0, 0.0}); // continuity alone: leaving out ranks best
    for (int i = 0; i < 2; ++i)
        tree.addFragment(makeFragment(25, 0.2), true);
    tree.decideRoot();
    bool included = false;
    tree.advanceRoot(included);
    TreeNode* root = tree.current;
    ASSERT_FALSE(root->included);
    TreeNode* child = root->excludeChild.get();
    const double score = child->score;
    root->included = true;
    root->rescore(true, true, tree.weights.targetLength);
    EXPECT_EQ(root->summaryFrames, 25);
    EXPECT_EQ(root->includedCount, 1);
    EXPECT_EQ(child->cutCount, 1);
    EXPECT_EQ(child->summaryFrames, 25);
    EXPECT_EQ(root->includeChild->joinCount, 1);
    EXPECT_DOUBLE_EQ(child->score, score); // scores are the ranking's, not rescore's
}

TEST(RetireDecidedFragment, AKeptOneKeepsWhatComparingWithItReadsALeftOutOneOnlyItsRecord) {
    for (const bool kept : {true, false}) {
        SegmentDistanceMemo memo;
        std::unique_ptr<FrameBuffer> fragment(makeFragment(25, 0.1));
        std::unique_ptr<FrameBuffer> later(makeFragment(24, 0.1));
        // Frames that differ, numbered as a video's.
        for (int k = 0; k < 25; ++k) {
            fragment->frames[k].frameNumber = 100 + k;
            fragment->frames[k].descriptors.histogram[0][k % 16] += 50.0 * k;
        }
        for (int k = 0; k < 24; ++k)
            later->frames[k].frameNumber = 150 + k;
        fragment->number = 5;
        later->number = 7;
        fragment->distanceMemo = later->distanceMemo = &memo;
        const double distance = FrameBuffer::segmentDistance(later.get(), fragment.get());
        setDistance(fragment.get(), 5, 2, 0.3);
        retireDecidedFragment(fragment.get(), kept);
        EXPECT_FALSE(fragment->comparisonList.allocated());
        EXPECT_EQ(fragment->length, 25);
        EXPECT_EQ(fragment->count(), 0);
        EXPECT_EQ(fragment->comparedFrames(), kept ? 25 : 0);
        if (kept) {
            EXPECT_EQ(FrameBuffer::measureDistance(later.get(), fragment.get()), distance);
            EXPECT_EQ(memo.find(*later, *fragment), distance);
        }
    }
}

TEST(RetireDecidedFragment, KeptFragmentsBeyondTheRedundancyReachGiveUpTheirFrames) {
    // Everything kept, one level at a time, for longer than the reach: the
    // frames held stop growing, and none that a fragment to come could be
    // compared with is given up.
    SummaryTree tree;
    tree.weights.targetLength = 1.0;
    const int fragments = REDUNDANCY_REACH + 100;
    for (int n = 0; n < fragments; ++n) {
        tree.addFragment(makeFragment(3, 0.1), true);
        tree.pruneLeaves(1);
        tree.decideRoot();
        bool included = false;
        // The start node, first, has no fragment.
        const FrameBuffer* decided = tree.advanceRoot(included);
        ASSERT_EQ(decided != nullptr, n > 0);
        ASSERT_TRUE(included || n == 0);
    }
    const int64_t rootLevel = tree.current->level;
    for (int k = 0; k < fragments; ++k) {
        const int level = k + 1;
        const bool inReach = rootLevel + 1 - level <= REDUNDANCY_REACH;
        if (inReach) {
            ASSERT_EQ(tree.fragments[k]->comparedFrames(), 3) << "level " << level;
        } else if (rootLevel - level > REDUNDANCY_REACH + 2) {
            ASSERT_EQ(tree.fragments[k]->comparedFrames(), 0) << "level " << level;
        }
    }
}

// Drives the tree as the decoding pass does (depth limit 20, node limit 100)
// over scenes of six fragments, alike within a scene; four contents take
// turns, so every scene is seen again later. With the junk filter, the first
// fragment of each scene (its cut) is junk. '#' marks a kept fragment.
std::string keptFragments(double target, bool junkFilter) {
    SummaryTree tree;
    tree.weights.targetLength = target;
    std::string kept;
    auto advance = [&] {
        tree.decideRoot();
        bool included = false;
        if (tree.advanceRoot(included))
            kept += included ? '#' : '.';
    };
    for (int n = 0; n < 120; ++n) {
        auto f = makeFragment(25, 0.1);
        for (int older = 0; older < n; ++older)
            setDistance(f.get(), n, older, older / 6 % 4 == n / 6 % 4 ? 0.002 : 0.3);
        setJunkMeasures(f.get(), n % 6 == 0 ? 0.0 : 10.0, 5.0);
        junkFilter ? tree.addFragmentFiltered(std::move(f)) : tree.addFragment(std::move(f), true);
        if (tree.liveLeafCount() > 100)
            tree.pruneLeaves(100);
        if (tree.depth() >= 20)
            advance();
    }
    while (tree.depth() > 0)
        advance();
    return kept + (tree.current->included ? '#' : '.');
}

TEST(TargetLength, AHigherTargetNeverKeepsLessAndAFullOneKeepsAllTheFilterAllows) {
    std::string all;
    for (int n = 0; n < 120; ++n)
        all += n % 6 == 0 ? '.' : '#';
    EXPECT_EQ(keptFragments(1.0, false), std::string(120, '#'));
    long previous = 0;
    for (double target : {0.1, 0.2, 0.3, 0.5, 0.7, 1.0}) {
        const std::string kept = keptFragments(target, true);
        const long count = std::count(kept.begin(), kept.end(), '#');
        EXPECT_GE(count, previous - 1) << "target " << target << ": " << kept;
        previous = count;
    }
    EXPECT_EQ(keptFragments(1.0, true), all);
}

} // namespace

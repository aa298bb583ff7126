// The summary tree: the path measures and scores of new leaves, the
// best-first sort, the junk filter, pruning, deciding and advancing the root,
// freeing, and holding the target length.

#include "SummaryTree.h"
#include "FrameBuffer.h"
#include "SegmentDistanceMemo.h"
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

// A fragment of `frames` described frames without pictures, all alike, so
// any distance that a test does not set is 0.
std::unique_ptr<FrameBuffer> makeFragment(int frames, double variation) {
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
void setDistance(FrameBuffer* newer, int newerNumber, int olderNumber, double value) {
    newer->comparisonList[newerNumber - olderNumber] = {1, value};
}

// The measures the junk filter reads, set directly.
void setJunkMeasures(FrameBuffer* fragment, double minActivity, double meanColorCount) {
    fragment->minActivity = minActivity;
    fragment->meanColorCount = meanColorCount;
    fragment->minActivityComputed = fragment->colorCountComputed = true;
}

// Inserts the fragment, which the tree owns from then on.
FrameBuffer* insert(SummaryTree& tree, std::unique_ptr<FrameBuffer> fragment, bool included) {
    FrameBuffer* inserted = fragment.get();
    tree.addFragment(std::move(fragment), included);
    return inserted;
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

void expectBestFirst(const NodeList& list) {
    for (uint32_t i = 1; i < list.size(); ++i) {
        const TreeNode* a = list[i - 1];
        const TreeNode* b = list[i];
        ASSERT_TRUE(a->score > b->score || (a->score == b->score && a->tieScore >= b->tieScore))
            << "position " << i;
    }
}

TEST(FirstInsertion, MeasuresOfBothChildrenAndTheirScoresUnderEachWeighting) {
    // Included: length 0.05 (the most), continuity 0.5 (the least),
    // activity the variation (the most); redundancy 0 on both. At the
    // starting weights the included child wins length and activity, 0.25 of
    // the 0.60 weighed, the other continuity, 0.10: each a quarter of that.
    struct Case {
        RankingWeights weights;
        double in, out;
    };
    for (const Case& c : {Case{{}, 0.104166666667, 0.041666666667},      // the starting weights
                          Case{{0.05, 0.0, 0.1, 0.0, 0.0}, 0.0, 0.25},   // continuity alone
                          Case{{0.05, 0.0, 0.0, 0.25, 0.0}, 0.0, 0.0},   // a measure equal on both
                          Case{{0.05, 0.0, 0.0, 0.0, 0.0}, 0.0, 0.0}}) { // no weight at all
        SummaryTree tree(c.weights);
        tree.addFragment(makeFragment(25, 0.37), true);
        const auto measures = [](const TreeNode* n) {
            return std::vector<double>{n->lengthScore, n->continuityScore, n->redundancyScore,
                                       n->activityScore};
        };
        const TreeNode* in = tree.root->includeChild.get();
        const TreeNode* out = tree.root->excludeChild.get();
        EXPECT_EQ(measures(in), (std::vector<double>{0.05, 0.5, 0.0, 0.37}));
        EXPECT_EQ(measures(out), (std::vector<double>{0.0, 1.0, 0.0, 0.0}));
        EXPECT_NEAR(in->score, c.in, 1e-12);
        EXPECT_NEAR(out->score, c.out, 1e-12);
        ASSERT_EQ(tree.leaves.size(), 2u);
        expectBestFirst(tree.leaves);
    }
}

TEST(LengthMeasure, FallsOffOnBothSidesOfTheTargetAndATargetOfZeroWantsNothing) {
    struct Case {
        double target, in, out, inIn, inOut, outIn, outOut;
    };
    for (const Case& c :
         {Case{0.5, 0.5, 0.0, 0.5, 1.0, 1.0, 0.0}, Case{0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0}}) {
        SCOPED_TRACE(c.target);
        SummaryTree tree({c.target});
        for (int i = 0; i < 2; ++i)
            tree.addFragment(makeFragment(25, 0.1), true);
        const TreeNode* in = tree.root->includeChild.get();
        const TreeNode* out = tree.root->excludeChild.get();
        EXPECT_DOUBLE_EQ(in->lengthScore, c.in);
        EXPECT_DOUBLE_EQ(out->lengthScore, c.out);
        EXPECT_DOUBLE_EQ(in->includeChild->lengthScore, c.inIn);
        EXPECT_DOUBLE_EQ(in->excludeChild->lengthScore, c.inOut);
        EXPECT_DOUBLE_EQ(out->includeChild->lengthScore, c.outIn);
        EXPECT_DOUBLE_EQ(out->excludeChild->lengthScore, c.outOut);
        expectBestFirst(tree.leaves); // fails on a score that is not a number
    }
}

TEST(RedundancyAndActivity, IncludedFragmentsBlendWithTheParentByFrames) {
    SummaryTree tree;
    auto f2 = makeFragment(25, 0.2);
    auto f3 = makeFragment(20, 0.6);
    setDistance(f2.get(), 1, 0, 0.09);
    setDistance(f3.get(), 2, 0, 0.16);
    setDistance(f3.get(), 2, 1, 0.64);
    tree.addFragment(makeFragment(25, 0.2), true);
    tree.addFragment(std::move(f2), true);
    tree.addFragment(std::move(f3), true);

    const TreeNode* in = tree.root->includeChild.get();
    const TreeNode* inIn = in->includeChild.get();
    EXPECT_DOUBLE_EQ(inIn->redundancyScore, 0.3); // √0.09, parent's measure 0
    EXPECT_DOUBLE_EQ(in->excludeChild->redundancyScore, 0.0);
    // Three included: min 0.16, mean 0.4 → √(0.12 + 0.1) = 0.469041576;
    // blended with the parent's 0.3 over 50 frames: 24.380831520 / 70.
    EXPECT_NEAR(inIn->includeChild->redundancyScore, 0.348297593138, 1e-12);
    // Left out below an included pair: the parent's value, blended with itself.
    EXPECT_DOUBLE_EQ(inIn->excludeChild->redundancyScore, 0.3);
    // Only the first fragment counts below a cut: √0.16 = 0.4.
    EXPECT_DOUBLE_EQ(in->excludeChild->includeChild->redundancyScore, 0.4);

    // Activity: the variations of the included fragments, weighed by their
    // frames: 20 of 0.6 and 50 of 0.2, 22 / 70.
    EXPECT_NEAR(inIn->includeChild->activityScore, 0.314285714286, 1e-12);
    EXPECT_DOUBLE_EQ(inIn->excludeChild->activityScore, 0.2);
    EXPECT_DOUBLE_EQ(tree.root->excludeChild->excludeChild->includeChild->activityScore, 0.6);
}

TEST(RedundancyMeasure, MissingDistancesAreMeasuredAndStored) {
    SummaryTree tree;
    auto f1 = makeFragment(25, 0.1);
    // f1's luma lies in another histogram bin than f2's.
    for (Frame& fr : f1->frames) {
        fr.descriptors.histogram[0][4] = 0.0;
        fr.descriptors.histogram[0][12] = 100.0;
    }
    insert(tree, std::move(f1), true);
    FrameBuffer* f2 = insert(tree, makeFragment(25, 0.1), true);
    ASSERT_EQ(f2->comparisonList[1].valid, 1);
    const double d = f2->comparisonList[1].value;
    EXPECT_NEAR(d, 0.22, 1e-9); // luma histograms disjoint, chroma equal
    EXPECT_NEAR(tree.root->includeChild->includeChild->redundancyScore, 0.469041575982, 1e-9);
}

TEST(RedundancyMeasure, IgnoresAncestorsMoreThanAThousandLevelsUp) {
    // Fragments numbered as a tree numbers them: level k holds fragment k - 1.
    auto fragmentAt = [](int level) {
        auto f = makeFragment(25, 0.1);
        f->number = level - 1;
        return f;
    };
    auto far = fragmentAt(300), edge = fragmentAt(502), near = fragmentAt(1400),
         own = fragmentAt(1502);
    setDistance(own.get(), 1501, 299, 0.0);  // 1202 levels up: ignored
    setDistance(own.get(), 1501, 501, 0.36); // exactly 1000 levels up: counted
    setDistance(own.get(), 1501, 1399, 0.04);

    TreeNode farNode(300), edgeNode(502), nearNode(1400), parent(1501);
    farNode.fragment = far.get();
    edgeNode.fragment = edge.get();
    edgeNode.lastIncluded = &farNode;
    nearNode.fragment = near.get();
    nearNode.lastIncluded = &edgeNode;
    parent.lastIncluded = &nearNode;
    // A second node of the same level gets the same answer from the
    // ancestors' remembered walk.
    std::vector<TreeNode*> scratch;
    for (int sibling = 0; sibling < 2; ++sibling) {
        TreeNode node(1502);
        node.parent = &parent;
        node.included = true;
        node.fragment = own.get();
        node.lastIncluded = &nearNode;
        node.computeMeasures(0.05, scratch);
        // min 0.04, mean 0.2: √(0.03 + 0.05)
        EXPECT_NEAR(node.redundancyScore, 0.282842712475, 1e-12) << sibling;
    }
}

TEST(SortByScore, BestFirstByScoreThenTieScoreLosingNoNode) {
    std::mt19937 random(12345);
    for (int round = 0; round < 40; ++round) {
        const uint32_t n = 1 + random() % 700;
        // Few distinct values, so long runs of ties, and some all-equal lists.
        const int distinct = round % 5 == 0 ? 1 : 1 + int(random() % 6);
        std::deque<TreeNode> nodes;
        NodeList list;
        for (uint32_t i = 0; i < n; ++i) {
            TreeNode& node = nodes.emplace_back(0);
            node.score = double(random() % distinct) * 0.25;
            node.tieScore = double(random() % 2);
            list.push_back(&node);
        }
        SummaryTree::sortByScore(list);
        ASSERT_EQ(list.size(), n);
        EXPECT_EQ(std::set<TreeNode*>(list.begin(), list.end()).size(), n) << round;
        expectBestFirst(list);
    }
}

// A fragment with random distances to every earlier one, numbered as the
// tree will number it.
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

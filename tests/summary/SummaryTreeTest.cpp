// The summary tree: the path measures and scores of new leaves, the
// best-first sort, the junk filter, pruning, deciding and advancing the root,
// freeing, and holding the target length.

#include "SummaryTree.h"
#include "FrameBuffer.h"
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
FrameBuffer* makeFragment(int frames, double variation) {
    auto* fragment = new FrameBuffer(25);
    for (int i = 0; i < frames; ++i) {
        auto* frame = new Frame;
        frame->histogram[0][4] = frame->histogram[1][8] = frame->histogram[2][8] = 100.0;
        frame->histogramComputed = frame->colorLayoutComputed = true;
        frame->mode = HISTOGRAM_MODE;
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

// Nodes of the subtree below node, node excluded.
int countDescendants(const TreeNode* node) {
    int n = 0;
    for (const TreeNode* child : {node->includeChild, node->excludeChild})
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
    for (uint32_t i = 1; i < list.count; ++i) {
        const TreeNode* a = list.nodes[i - 1];
        const TreeNode* b = list.nodes[i];
        ASSERT_TRUE(a->score > b->score || (a->score == b->score && a->tieScore >= b->tieScore))
            << "position " << i;
    }
}

TEST(FirstInsertion, MeasuresOfBothChildrenAndTheirScoresUnderEachWeighting) {
    // Included: length 0.05 (the most), continuity 0.5 (the least),
    // activity the variation (the most); redundancy 0 on both.
    struct Case {
        RankingWeights weights;
        double in, out;
    };
    for (const Case& c : {Case{{}, 0.25 * 0.25 / 0.60, 0.25 * 0.10 / 0.60}, // the starting weights
                          Case{{0.05, 0.0, 0.1, 0.0, 0.0}, 0.0, 0.25},      // continuity alone
                          Case{{0.05, 0.0, 0.0, 0.25, 0.0}, 0.0, 0.0},   // a measure equal on both
                          Case{{0.05, 0.0, 0.0, 0.0, 0.0}, 0.0, 0.0}}) { // no weight at all
        SummaryTree tree(c.weights);
        tree.addFragment(makeFragment(25, 0.37), true);
        const auto measures = [](const TreeNode* n) {
            return std::vector<double>{n->lengthScore, n->continuityScore, n->redundancyScore,
                                       n->activityScore};
        };
        const TreeNode* in = tree.root->includeChild;
        const TreeNode* out = tree.root->excludeChild;
        EXPECT_EQ(measures(in), (std::vector<double>{0.05, 0.5, 0.0, 0.37}));
        EXPECT_EQ(measures(out), (std::vector<double>{0.0, 1.0, 0.0, 0.0}));
        EXPECT_NEAR(in->score, c.in, 1e-12);
        EXPECT_NEAR(out->score, c.out, 1e-12);
        ASSERT_EQ(tree.leaves->count, 2u);
        expectBestFirst(*tree.leaves);
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
        const TreeNode* in = tree.root->includeChild;
        const TreeNode* out = tree.root->excludeChild;
        EXPECT_DOUBLE_EQ(in->lengthScore, c.in);
        EXPECT_DOUBLE_EQ(out->lengthScore, c.out);
        EXPECT_DOUBLE_EQ(in->includeChild->lengthScore, c.inIn);
        EXPECT_DOUBLE_EQ(in->excludeChild->lengthScore, c.inOut);
        EXPECT_DOUBLE_EQ(out->includeChild->lengthScore, c.outIn);
        EXPECT_DOUBLE_EQ(out->excludeChild->lengthScore, c.outOut);
        expectBestFirst(*tree.leaves); // fails on a score that is not a number
    }
}

TEST(RedundancyAndActivity, IncludedFragmentsBlendWithTheParentByFrames) {
    SummaryTree tree;
    FrameBuffer* f2 = makeFragment(25, 0.2);
    FrameBuffer* f3 = makeFragment(20, 0.6);
    setDistance(f2, 1, 0, 0.09);
    setDistance(f3, 2, 0, 0.16);
    setDistance(f3, 2, 1, 0.64);
    tree.addFragment(makeFragment(25, 0.2), true);
    tree.addFragment(f2, true);
    tree.addFragment(f3, true);

    const TreeNode* in = tree.root->includeChild;
    const TreeNode* inIn = in->includeChild;
    EXPECT_DOUBLE_EQ(inIn->redundancyScore, 0.3); // √0.09, parent's measure 0
    EXPECT_DOUBLE_EQ(in->excludeChild->redundancyScore, 0.0);
    // Three included: min 0.16, mean 0.4 → √(0.12 + 0.1); blended with the
    // parent's 0.3 over 50 frames.
    const double r = std::sqrt(0.75 * 0.16 + 0.25 * 0.40);
    EXPECT_DOUBLE_EQ(inIn->includeChild->redundancyScore, (20 * r + 50 * 0.3) / 70);
    // Left out below an included pair: the parent's value, blended with itself.
    EXPECT_DOUBLE_EQ(inIn->excludeChild->redundancyScore, 0.3);
    // Only the first fragment counts below a cut: √0.16 = 0.4.
    EXPECT_DOUBLE_EQ(in->excludeChild->includeChild->redundancyScore, 0.4);

    // Activity: the variations of the included fragments, weighed by their frames.
    EXPECT_DOUBLE_EQ(inIn->includeChild->activityScore, (20 * 0.6 + 50 * 0.2) / 70);
    EXPECT_DOUBLE_EQ(inIn->excludeChild->activityScore, 0.2);
    EXPECT_DOUBLE_EQ(tree.root->excludeChild->excludeChild->includeChild->activityScore, 0.6);
}

TEST(RedundancyMeasure, MissingDistancesAreMeasuredAndStored) {
    SummaryTree tree;
    FrameBuffer* f1 = makeFragment(25, 0.1);
    FrameBuffer* f2 = makeFragment(25, 0.1);
    // f1's luma lies in another histogram bin than f2's.
    for (Frame* fr = f1->first; fr; fr = fr->next) {
        fr->histogram[0][4] = 0.0;
        fr->histogram[0][12] = 100.0;
    }
    tree.addFragment(f1, true);
    tree.addFragment(f2, true);
    ASSERT_EQ(f2->comparisonList[1].valid, 1);
    const double d = f2->comparisonList[1].value;
    EXPECT_NEAR(d, 0.55 * 0.4, 1e-9); // luma histograms disjoint, chroma equal
    EXPECT_DOUBLE_EQ(tree.root->includeChild->includeChild->redundancyScore, std::sqrt(d));
}

TEST(RedundancyMeasure, IgnoresAncestorsMoreThanAThousandLevelsUp) {
    // Fragments numbered as a tree numbers them: level k holds fragment k - 1.
    auto fragmentAt = [](int level) {
        FrameBuffer* f = makeFragment(25, 0.1);
        f->number = level - 1;
        return std::unique_ptr<FrameBuffer>(f);
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
        EXPECT_DOUBLE_EQ(node.redundancyScore, std::sqrt(0.75 * 0.04 + 0.25 * 0.20)) << sibling;
    }
}

TEST(SortByScore, BestFirstByScoreThenTieScoreLosingNoNode) {
    std::mt19937 random(12345);
    for (int round = 0; round < 40; ++round) {
        const uint32_t n = 1 + random() % 700;
        // Few distinct values, so long runs of ties, and some all-equal lists.
        const int distinct = round % 5 == 0 ? 1 : 1 + int(random() % 6);
        std::deque<TreeNode> nodes;
        auto list = std::make_unique<NodeList>();
        for (uint32_t i = 0; i < n; ++i) {
            TreeNode& node = nodes.emplace_back(0);
            node.score = double(random() % distinct) * 0.25;
            node.tieScore = double(random() % 2);
            list->append(&node);
        }
        SummaryTree::sortByScore(*list);
        ASSERT_EQ(list->count, n);
        EXPECT_EQ(std::set<TreeNode*>(list->nodes, list->nodes + n).size(), n) << round;
        expectBestFirst(*list);
    }
}

// A fragment with random distances to every earlier one, numbered as the
// tree will number it.
FrameBuffer* randomFragment(std::mt19937& random, int number) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    FrameBuffer* f = makeFragment(25, unit(random));
    for (int older = 0; older < number; ++older)
        setDistance(f, number, older, unit(random));
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
        FrameBuffer* f = makeFragment(25, c.variation);
        setJunkMeasures(f, c.minActivity, c.meanColourCount);
        tree.addFragmentFiltered(f);
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
    const std::set<const TreeNode*> before(tree.leaves->nodes, tree.leaves->nodes + 400);
    const TreeNode* best = tree.leaves->nodes[0];
    tree.pruneLeaves(100);

    const uint32_t n = tree.leaves->count;
    EXPECT_TRUE(n == 100 || n == 101) << n;
    const std::set<const TreeNode*> kept(tree.leaves->nodes, tree.leaves->nodes + n);
    EXPECT_EQ(kept.size(), n);
    EXPECT_TRUE(kept.count(best));
    int bySide[2] = {0, 0};
    for (const TreeNode* leaf : kept) {
        EXPECT_TRUE(before.count(leaf));
        const TreeNode* p = leaf->parent;
        EXPECT_TRUE(kept.count(leaf == p->includeChild ? p->excludeChild : p->includeChild));
        const TreeNode* side = childOfCurrentAbove(tree, leaf);
        ASSERT_NE(side, nullptr);
        ++bySide[side == tree.current->includeChild ? 0 : 1];
    }
    EXPECT_LE(std::abs(bySide[0] - bySide[1]), 2) << bySide[0] << " / " << bySide[1];
    for (uint32_t i = 1; i < n; ++i)
        EXPECT_GE(tree.leaves->nodes[i - 1]->score, tree.leaves->nodes[i]->score);

    // With one side decided away, the other alone still fills the limit.
    tree.decideRoot();
    tree.pruneLeaves(50);
    EXPECT_EQ(tree.leaves->count, 50u);
}

TEST(Advancing, DecidingFreesTheLosingBranchAndAdvancingHandsOverTheChoice) {
    SummaryTree tree({0.05, 0.0, 0.1, 0.0, 0.0}); // continuity alone: leaving out ranks best
    std::mt19937 random(11);
    for (int i = 0; i < 3; ++i)
        tree.addFragment(randomFragment(random, i), true);
    const int64_t before = TreeNode::liveNodes();
    const int64_t loser = 1 + countDescendants(tree.root->includeChild);
    tree.decideRoot();
    EXPECT_EQ(TreeNode::liveNodes(), before - loser);
    EXPECT_EQ(tree.root->includeChild, nullptr);
    ASSERT_EQ(tree.leaves->count, 4u);
    for (uint32_t i = 0; i < tree.leaves->count; ++i)
        EXPECT_EQ(childOfCurrentAbove(tree, tree.leaves->nodes[i]), tree.root->excludeChild);
    tree.decideRoot(); // one live child: nothing to decide
    EXPECT_EQ(tree.leaves->count, 4u);

    bool included = true;
    EXPECT_EQ(tree.advanceRoot(included), nullptr); // the start node has no fragment
    EXPECT_TRUE(included);
    EXPECT_EQ(tree.current, tree.root->excludeChild);
    tree.decideRoot();
    EXPECT_EQ(tree.advanceRoot(included), tree.frameBufferList[0]);
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
    FrameBuffer* again = makeFragment(25, 0.1);
    tree.addFragment(again, true);
    EXPECT_EQ(again->number, 0);
    EXPECT_EQ(tree.liveLeafCount(), 2u); // below the new root alone
    EXPECT_EQ(tree.depth(), 1);

    // Fragments past the end of the list are kept aside, and freed all the same.
    tree.resetTree();
    tree.frameBufferListPos = FRAME_BUFFER_LIST_SIZE; // stands in for a full list
    tree.addFragment(makeFragment(25, 0.1), true);
    EXPECT_EQ(tree.liveLeafCount(), 2u);
    tree.frameBufferListPos = 0; // the stand-in entries hold nothing to free
}

TEST(TreeNode, DeletingAVeryDeepChainDoesNotRecurse) {
    // The decided path of a long summary: one child per level.
    const int64_t before = TreeNode::liveNodes();
    auto top = std::make_unique<TreeNode>(0);
    TreeNode* last = top.get();
    for (int i = 1; i <= 200000; ++i) {
        last->excludeChild = new TreeNode(i);
        last->excludeChild->parent = last;
        last = last->excludeChild;
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
    TreeNode* child = root->excludeChild;
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

TEST(RetireDecidedFragment, AKeptOneKeepsDescriptorsOnlyALeftOutOneOnlyItsRecord) {
    for (const bool kept : {true, false}) {
        std::unique_ptr<FrameBuffer> fragment(makeFragment(25, 0.1));
        fragment->number = 5;
        setDistance(fragment.get(), 5, 2, 0.3);
        for (Frame* frame = fragment->first; frame != nullptr; frame = frame->next)
            frame->mode = AVFRAME; // as decoded
        retireDecidedFragment(fragment.get(), kept);
        EXPECT_FALSE(fragment->comparisonList.allocated());
        EXPECT_EQ(fragment->length, 25);
        EXPECT_EQ(fragment->count, kept ? 25 : 0);
        for (Frame* frame = fragment->first; frame != nullptr; frame = frame->next)
            EXPECT_EQ(frame->mode, HISTOGRAM_MODE);
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
        FrameBuffer* f = makeFragment(25, 0.1);
        for (int older = 0; older < n; ++older)
            setDistance(f, n, older, older / 6 % 4 == n / 6 % 4 ? 0.002 : 0.3);
        setJunkMeasures(f, n % 6 == 0 ? 0.0 : 10.0, 5.0);
        junkFilter ? tree.addFragmentFiltered(f) : tree.addFragment(f, true);
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

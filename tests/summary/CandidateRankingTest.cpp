// A new leaf's path measures and score, and the best-first sort of the
// leaves.

#include "FrameBuffer.h"
#include "SummaryTree.h"
#include "TreeFragments.h"
#include "TreeNode.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <vector>

namespace {

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

} // namespace

// The four path measures, the score of a new leaf and the best-first sort.

#include "SummaryTree.h"
#include "TreeNode.h"
#include "TreeTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

std::deque<TreeNode> makeNodes(int n) {
    std::deque<TreeNode> nodes;
    for (int i = 0; i < n; ++i)
        nodes.emplace_back(0);
    return nodes;
}

std::unique_ptr<NodeList> listOf(std::deque<TreeNode>& nodes) {
    auto list = std::make_unique<NodeList>();
    for (TreeNode& n : nodes)
        list->append(&n);
    return list;
}

// The descending quicksort written out as plainly as possible: the sort
// under test must give the very same order, ties included.
void referenceSort(TreeNode** a, int lo, int hi) {
    while (lo < hi) {
        const int pivot = (lo + hi) / 2;
        const double s = a[pivot]->score;
        const double u = a[pivot]->tieScore;
        std::swap(a[pivot], a[hi]);
        int store = lo;
        for (int j = lo; j < hi; ++j)
            if (a[j]->score > s || (!(a[j]->score < s) && a[j]->tieScore >= u))
                std::swap(a[j], a[store++]);
        std::swap(a[store], a[hi]);
        referenceSort(a, lo, store - 1);
        lo = store + 1;
    }
}

} // namespace

class FirstInsertion : public ::testing::Test {
protected:
    SummaryTree tree;
    const double A = 0.37;
};

TEST_F(FirstInsertion, DefaultWeightsIncludeTheFirstFragment) {
    tree.addFragment(makeFragment(25, A), true);
    const TreeNode* in = tree.root->includeChild;
    const TreeNode* out = tree.root->excludeChild;

    EXPECT_DOUBLE_EQ(in->lengthScore, 0.05);
    EXPECT_DOUBLE_EQ(in->continuityScore, 0.5);
    EXPECT_DOUBLE_EQ(in->redundancyScore, 0.0);
    EXPECT_DOUBLE_EQ(in->activityScore, A);
    EXPECT_DOUBLE_EQ(out->lengthScore, 0.0);
    EXPECT_DOUBLE_EQ(out->continuityScore, 1.0);
    EXPECT_DOUBLE_EQ(out->redundancyScore, 0.0);
    EXPECT_DOUBLE_EQ(out->activityScore, 0.0);

    EXPECT_NEAR(in->score, 0.25 * 0.25 / 0.60, 1e-12);
    EXPECT_NEAR(out->score, 0.25 * 0.10 / 0.60, 1e-12);
    EXPECT_EQ(in->tieScore, 0.0);
    ASSERT_EQ(tree.leaves->count, 2u);
    EXPECT_EQ(tree.leaves->nodes[0], in);
    EXPECT_EQ(tree.leaves->nodes[1], out);

}

TEST_F(FirstInsertion, WeightsAreReadWhenTheScoresAreComputed) {
    setWeights(tree, 0.0, 0.1, 0.0, 0.0);
    tree.addFragment(makeFragment(25, A), true);
    EXPECT_DOUBLE_EQ(tree.root->includeChild->score, 0.0);
    EXPECT_DOUBLE_EQ(tree.root->excludeChild->score, 0.25);
    EXPECT_EQ(tree.leaves->nodes[0], tree.root->excludeChild);
}

TEST_F(FirstInsertion, AMeasureEqualOnEveryLeafAddsNothing) {
    // Redundancy is 0 on both new leaves; with only its weight set, no leaf
    // gains anything.
    setWeights(tree, 0.0, 0.0, 0.25, 0.0);
    tree.addFragment(makeFragment(25, A), true);
    EXPECT_EQ(tree.root->includeChild->score, 0.0);
    EXPECT_EQ(tree.root->excludeChild->score, 0.0);
}

TEST_F(FirstInsertion, AllWeightsZeroScoreThreeQuartersOfTheParent) {
    tree.addFragment(makeFragment(25, A), true);
    setWeights(tree, 0.0, 0.0, 0.0, 0.0);
    tree.addFragment(makeFragment(25, 0.1), true);
    ASSERT_EQ(tree.leaves->count, 4u);
    for (uint32_t i = 0; i < tree.leaves->count; ++i) {
        const TreeNode* leaf = tree.leaves->nodes[i];
        EXPECT_DOUBLE_EQ(leaf->score, 0.75 * leaf->parent->score);
    }
}

TEST_F(FirstInsertion, TargetLengthZeroFavoursTheEmptySummaryWithoutNaN) {
    tree.weights.targetLength = 0.0;
    tree.addFragment(makeFragment(25, A), true);
    tree.addFragment(makeFragment(25, A), true);
    const TreeNode* out = tree.root->excludeChild;
    EXPECT_EQ(out->lengthScore, 1.0);
    EXPECT_EQ(out->excludeChild->lengthScore, 1.0);
    EXPECT_EQ(out->includeChild->lengthScore, 0.0);
    EXPECT_EQ(tree.root->includeChild->lengthScore, 0.0);
    for (uint32_t i = 0; i < tree.leaves->count; ++i) {
        const TreeNode* leaf = tree.leaves->nodes[i];
        EXPECT_TRUE(std::isfinite(leaf->score));
        EXPECT_TRUE(std::isfinite(leaf->lengthScore));
        if (i > 0) {
            EXPECT_GE(tree.leaves->nodes[i - 1]->score, leaf->score);
        }
    }
}

TEST(LengthMeasure, FallsOffOnBothSidesOfTheTarget) {
    SummaryTree tree;
    tree.weights.targetLength = 0.5;
    tree.addFragment(makeFragment(25, 0.1), true);
    tree.addFragment(makeFragment(25, 0.1), true);
    const TreeNode* in = tree.root->includeChild;
    EXPECT_DOUBLE_EQ(in->lengthScore, 0.5);               // share 1, target 0.5: q = 2
    EXPECT_DOUBLE_EQ(in->excludeChild->lengthScore, 1.0); // share 0.5
    EXPECT_DOUBLE_EQ(in->includeChild->lengthScore, 0.5); // share 1
    EXPECT_DOUBLE_EQ(tree.root->excludeChild->excludeChild->lengthScore, 0.0);
}

TEST(RedundancyMeasure, DistancesToIncludedAncestorsBlendWithTheParent) {
    SummaryTree tree;
    FrameBuffer* f1 = makeFragment(25, 0.1);
    FrameBuffer* f2 = makeFragment(25, 0.1);
    FrameBuffer* f3 = makeFragment(20, 0.1);
    setDistance(f2, 1, 0, 0.09);
    setDistance(f3, 2, 0, 0.16);
    setDistance(f3, 2, 1, 0.64);
    tree.addFragment(f1, true);
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
}

TEST(RedundancyMeasure, MissingDistancesAreComputedOnceAndStored) {
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
        return f;
    };
    std::unique_ptr<FrameBuffer> far(fragmentAt(300)), edge(fragmentAt(502)),
        near(fragmentAt(1400)), own(fragmentAt(1502));
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

    TreeNode node(1502);
    node.parent = &parent;
    node.included = true;
    node.fragment = own.get();
    node.lastIncluded = &nearNode;
    std::vector<TreeNode*> scratch;
    node.computeMeasures(0.05, scratch);
    EXPECT_DOUBLE_EQ(node.redundancyScore, std::sqrt(0.75 * 0.04 + 0.25 * 0.20));

    // A second node of the same level gets the same answer from the
    // ancestors' remembered walk.
    TreeNode sibling(1502);
    sibling.parent = &parent;
    sibling.included = true;
    sibling.fragment = own.get();
    sibling.lastIncluded = &nearNode;
    sibling.computeMeasures(0.05, scratch);
    EXPECT_DOUBLE_EQ(sibling.redundancyScore, node.redundancyScore);

    for (auto& f : {&far, &edge, &near, &own})
        (*f)->deleteAllFrames();
}

TEST(ActivityMeasure, FrameWeightedMeanOfIncludedFragments) {
    SummaryTree tree;
    tree.addFragment(makeFragment(25, 0.2), true);
    tree.addFragment(makeFragment(15, 0.6), true);
    const TreeNode* in = tree.root->includeChild;
    EXPECT_DOUBLE_EQ(in->includeChild->activityScore, (0.6 * 15 + 25 * 0.2) / 40);
    EXPECT_DOUBLE_EQ(in->excludeChild->activityScore, 0.2);
    EXPECT_DOUBLE_EQ(tree.root->excludeChild->includeChild->activityScore, 0.6);
}

TEST(SortByScore, SameOrderAsThePlainQuicksortTiesIncluded) {
    std::mt19937 random(12345);
    for (int round = 0; round < 40; ++round) {
        const int n = 1 + int(random() % 700);
        // Few distinct values, so long runs of ties, and some all-equal lists.
        const int distinct = round % 5 == 0 ? 1 : 1 + int(random() % 6);
        std::deque<TreeNode> nodes = makeNodes(n);
        for (TreeNode& node : nodes) {
            node.score = double(random() % distinct) * 0.25;
            node.tieScore = double(random() % 2);
        }
        auto list = listOf(nodes);
        std::vector<TreeNode*> expected(list->nodes, list->nodes + n);
        referenceSort(expected.data(), 0, n - 1);
        SummaryTree::sortByScore(*list);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(list->nodes[i], expected[i]) << "round " << round << " index " << i;
    }
}

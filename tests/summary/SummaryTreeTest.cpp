// The tree's structure: insertion, the junk filter, holding the target
// length, pruning, deciding and advancing the root, and freeing at reset.

#include "SummaryTree.h"
#include "TreeTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <unistd.h>

namespace {

// Fragments with chosen random distances to every earlier one, numbered from
// `first` on as the tree will number them.
class FragmentSource {
public:
    explicit FragmentSource(unsigned seed) : random(seed) {}
    FrameBuffer* next() {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        FrameBuffer* f = makeFragment(25, unit(random));
        for (int older = 0; older < number; ++older)
            setDistance(f, number, older, unit(random));
        ++number;
        return f;
    }
    void restart() { number = 0; }

private:
    std::mt19937 random;
    int number = 0;
};

bool isListed(const SummaryTree& tree, const TreeNode* node) {
    for (uint32_t i = 0; i < tree.leaves->count; ++i)
        if (tree.leaves->nodes[i] == node)
            return true;
    return false;
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

} // namespace

class Insertion : public ::testing::Test {
protected:
    SummaryTree tree;
};

TEST_F(Insertion, EveryLeafDoublesAndFragmentsAreNumberedAndRecorded) {
    EXPECT_EQ(tree.liveLeafCount(), 1u);
    FrameBuffer* f1 = makeFragment(25, 0.1);
    FrameBuffer* f2 = makeFragment(25, 0.1);
    tree.addFragment(f1, true);
    EXPECT_EQ(tree.liveLeafCount(), 2u);
    tree.addFragment(f2, true);
    EXPECT_EQ(tree.liveLeafCount(), 4u);
    EXPECT_EQ(tree.leaves->count, 4u);
    EXPECT_EQ(tree.levelsAdded, 2);
    EXPECT_EQ(tree.depth(), 2);
    EXPECT_EQ(f1->number, 0);
    EXPECT_EQ(f2->number, 1);
    EXPECT_EQ(tree.nextFragmentId, 2);
    EXPECT_EQ(tree.frameBufferListPos, 2);
    EXPECT_EQ(tree.frameBufferList[0], f1);
    EXPECT_EQ(tree.frameBufferList[1], f2);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(tree.leaves->nodes[i]->level, 2);
        EXPECT_EQ(tree.leaves->nodes[i]->fragment, f2);
    }
}

TEST_F(Insertion, JunkFilterKeepsJunkOutOfEverySummary) {
    FrameBuffer* good = makeFragment(25, 0.1);
    setJunkMeasures(good, 10.0, 5.0);
    tree.addFragmentFiltered(good);
    EXPECT_TRUE(good->classified);
    EXPECT_FALSE(good->junk);
    EXPECT_EQ(tree.liveLeafCount(), 2u);

    FrameBuffer* flat = makeFragment(25, 0.1); // too few colours
    setJunkMeasures(flat, 10.0, 2.0);
    tree.addFragmentFiltered(flat);
    EXPECT_TRUE(flat->classified);
    EXPECT_TRUE(flat->junk);
    EXPECT_EQ(tree.liveLeafCount(), 2u);

    FrameBuffer* still = makeFragment(25, 0.1); // too little activity
    setJunkMeasures(still, 1.9, 5.0);
    FrameBuffer* noisy = makeFragment(25, 0.1); // too much activity
    setJunkMeasures(noisy, 1000.5, 5.0);
    FrameBuffer* cut = makeFragment(25, 0.3); // a strong change inside
    setJunkMeasures(cut, 10.0, 5.0);
    for (FrameBuffer* f : {still, noisy, cut}) {
        tree.addFragmentFiltered(f);
        EXPECT_TRUE(f->junk);
    }
    EXPECT_EQ(tree.liveLeafCount(), 2u);
    EXPECT_EQ(tree.levelsAdded, 5);
}

class Pruning : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 8; ++i)
            tree.addFragment(source.next(), true);
        ASSERT_EQ(tree.liveLeafCount(), 256u);
        tree.pruneLeaves(200);
        ASSERT_EQ(tree.leaves->count, 200u);
        tree.addFragment(source.next(), true);
        ASSERT_EQ(tree.liveLeafCount(), 400u);
    }
    SummaryTree tree;
    FragmentSource source{7};
};

TEST_F(Pruning, KeepsAboutTheLimitWithSiblingsAndBothSides) {
    std::set<const TreeNode*> before(tree.leaves->nodes, tree.leaves->nodes + 400);
    const TreeNode* best = tree.leaves->nodes[0];
    tree.pruneLeaves(100);

    const uint32_t n = tree.leaves->count;
    EXPECT_TRUE(n == 100 || n == 101) << n;
    std::set<const TreeNode*> kept(tree.leaves->nodes, tree.leaves->nodes + n);
    EXPECT_EQ(kept.size(), n);
    EXPECT_TRUE(kept.count(best));
    int bySide[2] = {0, 0};
    for (const TreeNode* leaf : kept) {
        EXPECT_TRUE(before.count(leaf));
        const TreeNode* p = leaf->parent;
        const TreeNode* sibling = leaf == p->includeChild ? p->excludeChild : p->includeChild;
        EXPECT_TRUE(kept.count(sibling));
        const TreeNode* side = childOfCurrentAbove(tree, leaf);
        ASSERT_NE(side, nullptr);
        ++bySide[side == tree.current->includeChild ? 0 : 1];
    }
    EXPECT_LE(std::abs(bySide[0] - bySide[1]), 2) << bySide[0] << " / " << bySide[1];
    for (uint32_t i = 1; i < n; ++i)
        EXPECT_GE(tree.leaves->nodes[i - 1]->score, tree.leaves->nodes[i]->score);
}

TEST_F(Pruning, DroppedLeavesStayLinkedUntilTheirBranchGoes) {
    tree.pruneLeaves(100);
    EXPECT_EQ(countDescendants(tree.root), 2 + 4 + 8 + 16 + 32 + 64 + 128 + 256 + 400);
    tree.resetTree();
    EXPECT_EQ(TreeNode::liveNodes(), 1);
}

TEST_F(Pruning, OneSidedLeavesStillFillTheLimit) {
    tree.decideRoot();
    tree.pruneLeaves(50);
    EXPECT_EQ(tree.leaves->count, 50u);
}

TEST_F(Pruning, LeafOutsideTheCurrentRootEndsTheProcessWithFailure) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Pretend the root moved without deciding: half the leaves now lie
    // outside it.
    tree.current = tree.root->includeChild;
    EXPECT_EXIT(
        {
            dup2(fileno(stderr), fileno(stdout));
            tree.pruneLeaves(100);
        },
        ::testing::ExitedWithCode(1), "\nERROR HORRENDO$");
    tree.current = tree.root;
}

class Advancing : public ::testing::Test {
protected:
    void SetUp() override {
        // With continuity alone, leaving everything out ranks best.
        setWeights(tree, 0.0, 0.1, 0.0, 0.0);
        for (int i = 0; i < 3; ++i)
            tree.addFragment(source.next(), true);
    }
    SummaryTree tree;
    FragmentSource source{11};
};

TEST_F(Advancing, DecideKeepsTheBestPathAndFreesTheLosingBranch) {
    TreeNode* loser = tree.root->includeChild;
    const int64_t nodes = 1 + countDescendants(loser);
    const int64_t before = TreeNode::liveNodes();
    tree.decideRoot();
    EXPECT_EQ(TreeNode::liveNodes(), before - nodes);
    EXPECT_EQ(tree.root->includeChild, nullptr);
    ASSERT_NE(tree.root->excludeChild, nullptr);
    EXPECT_EQ(tree.leaves->count, 4u);
    for (uint32_t i = 0; i < tree.leaves->count; ++i)
        EXPECT_EQ(childOfCurrentAbove(tree, tree.leaves->nodes[i]), tree.root->excludeChild);
    EXPECT_EQ(tree.levelsAdvanced, 0);

    // Deciding again with one live child does nothing.
    tree.decideRoot();
    EXPECT_EQ(tree.leaves->count, 4u);
}

TEST_F(Advancing, HandsOverALeftOutFragmentAsNotIncluded) {
    bool included = true;
    tree.decideRoot();
    // The first advance leaves the start node: nothing to hand over.
    EXPECT_EQ(tree.advanceRoot(included), nullptr);
    EXPECT_TRUE(included);
    EXPECT_EQ(tree.levelsAdvanced, 1);
    EXPECT_EQ(tree.depth(), 2);
    EXPECT_EQ(tree.current, tree.root->excludeChild);

    tree.decideRoot();
    EXPECT_EQ(tree.advanceRoot(included), tree.frameBufferList[0]);
    EXPECT_FALSE(included);
    EXPECT_EQ(tree.depth(), 1);
    // The decided path stays.
    EXPECT_EQ(tree.current->parent->parent, tree.root);
}

TEST_F(Advancing, HandsOverAnIncludedFragmentAsIncluded) {
    tree.resetTree();
    source.restart();
    setWeights(tree, 0.20, 0.10, 0.25, 0.05);
    for (int i = 0; i < 2; ++i)
        tree.addFragment(source.next(), true);
    bool included = false;
    tree.decideRoot();
    tree.advanceRoot(included);
    tree.decideRoot();
    FrameBuffer* first = tree.advanceRoot(included);
    EXPECT_EQ(first, tree.frameBufferList[0]);
    EXPECT_EQ(included, tree.current->parent->included);
}

TEST_F(Advancing, AdvanceSkipsACollapsedChild) {
    tree.leaves->count = 0;
    tree.root->excludeChild->collapase();
    bool included = false;
    tree.advanceRoot(included);
    EXPECT_EQ(tree.current, tree.root->includeChild);
    EXPECT_EQ(tree.root->excludeChild, nullptr);
}

TEST(AdvanceRoot, ARootThatCannotMoveStaysWhereItIs) {
    SummaryTree tree;
    // A leaf root, then one with two live children: both only complain.
    for (bool undecided : {false, true}) {
        if (undecided)
            tree.addFragment(makeFragment(25, 0.1), true);
        bool included = false;
        testing::internal::CaptureStdout();
        EXPECT_EQ(tree.advanceRoot(included), nullptr);
        EXPECT_NE(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(tree.current, tree.root);
        EXPECT_EQ(tree.levelsAdvanced, 0);
    }
}

TEST(ResetTree, FreesEveryNodeAndFragmentAndStartsOver) {
    SummaryTree tree;
    const int64_t empty = liveAllocations();
    ASSERT_EQ(TreeNode::liveNodes(), 1);

    FragmentSource source(3);
    for (int i = 0; i < 12; ++i) {
        tree.addFragment(source.next(), i % 3 != 0);
        if (tree.liveLeafCount() > 40)
            tree.pruneLeaves(40);
        if (tree.depth() >= 6) {
            bool included = false;
            tree.decideRoot();
            tree.advanceRoot(included);
        }
    }
    ASSERT_GT(tree.levelsAdvanced, 0);
    ASSERT_GT(liveAllocations(), empty);
    ASSERT_GT(TreeNode::liveNodes(), 1);

    tree.resetTree();
    EXPECT_EQ(liveAllocations(), empty);
    EXPECT_EQ(TreeNode::liveNodes(), 1);
    EXPECT_EQ(tree.levelsAdded, 0);
    EXPECT_EQ(tree.levelsAdvanced, 0);
    EXPECT_EQ(tree.frameBufferListPos, 0);
    EXPECT_EQ(tree.nextFragmentId, 0);
    EXPECT_EQ(tree.current, tree.root);
    ASSERT_EQ(tree.leaves->count, 1u);
    EXPECT_TRUE(isListed(tree, tree.root));

    FrameBuffer* again = makeFragment(25, 0.1);
    tree.addFragment(again, true);
    EXPECT_EQ(again->number, 0);
}

TEST(ResetTree, FreesFragmentsPastTheEndOfTheList) {
    SummaryTree tree;
    const int64_t empty = liveAllocations();
    // Stand in for a list already holding FRAME_BUFFER_LIST_SIZE fragments.
    tree.frameBufferListPos = FRAME_BUFFER_LIST_SIZE;
    FrameBuffer* late = makeFragment(25, 0.1);
    testing::internal::CaptureStdout(); // a warning
    tree.addFragment(late, true);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(tree.frameBufferListPos, FRAME_BUFFER_LIST_SIZE);
    EXPECT_EQ(tree.liveLeafCount(), 2u);

    tree.frameBufferListPos = 0; // the stand-in entries hold nothing to free
    tree.resetTree();
    EXPECT_EQ(liveAllocations(), empty);
}

TEST(TargetLength, FullTargetKeepsEveryFragmentTheFilterAllows) {
    for (bool junkFilter : {false, true}) {
        SCOPED_TRACE(junkFilter ? "junk filter" : "no filter");
        std::string all;
        for (int n = 0; n < 120; ++n)
            all += junkFilter && n % 6 == 0 ? '.' : '#';
        EXPECT_EQ(keptFragments(1.0, junkFilter), all);
    }
}

TEST(TargetLength, AHigherTargetNeverKeepsLessWithTheJunkFilter) {
    long previous = 0;
    for (double target : {0.1, 0.2, 0.3, 0.5, 0.7, 1.0}) {
        const std::string kept = keptFragments(target, true);
        const long count = std::count(kept.begin(), kept.end(), '#');
        EXPECT_GE(count, previous - 1) << "target " << target << ": " << kept;
        previous = count;
    }
}

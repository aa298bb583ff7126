// The tree records: path counts, node lists, collapsing and rescoring.

#include "TreeNode.h"
#include "NodeList.h"
#include "SummaryTree.h"
#include "TreeTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST(TreeRecords, FullNodeListIgnoresFurtherNodes) {
    auto list = std::make_unique<NodeList>();
    TreeNode a(0), b(0);
    for (uint32_t i = 0; i < NODE_LIST_SIZE; ++i)
        list->append(&a);
    list->append(&b);
    EXPECT_EQ(list->count, NODE_LIST_SIZE);
    EXPECT_EQ(list->nodes[NODE_LIST_SIZE - 1], &a);
}

class PathCounts : public ::testing::Test {
protected:
    SummaryTree tree;
};

TEST_F(PathCounts, IncludedChildOfStartNodeCountsItsFragment) {
    // A fragment decoded with 25 frames of which 20 are still held.
    tree.addFragment(makeFragment(20, 0.1, 25), true);
    const TreeNode* in = tree.root->includeChild;
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->totalFrames, 25);
    EXPECT_EQ(in->summaryFrames, 20);
    EXPECT_EQ(in->includedCount, 1);
    EXPECT_EQ(in->joinCount, 0);
    EXPECT_EQ(in->cutCount, 0);
    EXPECT_EQ(in->level, 1);
    EXPECT_EQ(in->lastIncluded, nullptr);
    EXPECT_TRUE(in->scoresComputed);

    const TreeNode* out = tree.root->excludeChild;
    EXPECT_EQ(out->totalFrames, 25);
    EXPECT_EQ(out->summaryFrames, 0);
    EXPECT_EQ(out->includedCount, 0);
    EXPECT_EQ(out->cutCount, 0);
}

TEST_F(PathCounts, JoinsAndCutsFollowTheParentsChoice) {
    tree.addFragment(makeFragment(25, 0.1), true);
    tree.addFragment(makeFragment(25, 0.1), true);
    const TreeNode* in = tree.root->includeChild;
    const TreeNode* inIn = in->includeChild;
    const TreeNode* inOut = in->excludeChild;
    const TreeNode* outIn = tree.root->excludeChild->includeChild;

    EXPECT_EQ(inIn->joinCount, 1);
    EXPECT_EQ(inIn->summaryFrames, 50);
    EXPECT_EQ(inIn->totalFrames, 50);
    EXPECT_EQ(inIn->lastIncluded, in);

    EXPECT_EQ(inOut->cutCount, in->cutCount + 1);
    EXPECT_EQ(inOut->summaryFrames, in->summaryFrames);
    EXPECT_EQ(inOut->lastIncluded, in);

    EXPECT_EQ(outIn->joinCount, 0);
    EXPECT_EQ(outIn->cutCount, 0);
    EXPECT_EQ(outIn->includedCount, 1);
    EXPECT_EQ(outIn->lastIncluded, nullptr);
}

TEST(Collapase, SecondCallWarnsAndChangesNothing) {
    SummaryTree tree;
    tree.addFragment(makeFragment(25, 0.1), true);
    tree.addFragment(makeFragment(25, 0.1), true);
    TreeNode* node = tree.root->includeChild;
    ASSERT_EQ(countDescendants(node), 2);
    // Keep the listed leaves away from the nodes about to be deleted.
    tree.leaves->count = 0;

    const int64_t before = TreeNode::liveNodes();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(node->collapase());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(TreeNode::liveNodes(), before - 2);
    EXPECT_TRUE(node->collapsed);
    EXPECT_EQ(node->includeChild, nullptr);
    EXPECT_EQ(node->excludeChild, nullptr);
    EXPECT_EQ(tree.frameBufferList[1]->count, 25); // fragments stay with the tree

    testing::internal::CaptureStdout();
    EXPECT_FALSE(node->collapase());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nTreeNode::collapase WARNING: node already collapsed");
    EXPECT_TRUE(node->collapsed);
}

TEST(DeleteSubtree, CopesWithAVeryDeepChain) {
    // The decided path of a long summary: one child per level.
    auto* top = new TreeNode(0);
    TreeNode* node = top;
    for (int i = 1; i <= 200000; ++i) {
        node->excludeChild = new TreeNode(i);
        node->excludeChild->parent = node;
        node = node->excludeChild;
    }
    const int64_t before = TreeNode::liveNodes();
    top->deleteSubtree();
    EXPECT_EQ(top->excludeChild, nullptr);
    EXPECT_EQ(TreeNode::liveNodes(), before - 200000);
    delete top;
}

class Rescore : public ::testing::Test {
protected:
    void SetUp() override {
        // Continuity alone makes the first fragment left out.
        setWeights(tree, 0.0, 0.1, 0.0, 0.0);
        tree.addFragment(makeFragment(25, 0.2), true);
        tree.addFragment(makeFragment(25, 0.2), true);
        tree.decideRoot();
        bool included = false;
        tree.advanceRoot(included); // leaves the start node
        ASSERT_NE(tree.current, tree.root);
    }
    SummaryTree tree;
};

TEST_F(Rescore, ForcedRecursionRecountsTheSubtreeOfAnIncludedRoot) {
    TreeNode* root = tree.current;
    ASSERT_FALSE(root->included);
    TreeNode* child = root->excludeChild;
    const double score = child->score;
    ASSERT_EQ(child->cutCount, 0);

    root->included = true;
    root->rescore(true, true, tree.weights.targetLength);
    EXPECT_EQ(root->summaryFrames, 25);
    EXPECT_EQ(root->includedCount, 1);
    EXPECT_EQ(child->cutCount, 1);
    EXPECT_EQ(child->summaryFrames, 25);
    EXPECT_EQ(root->includeChild->joinCount, 1);
    EXPECT_DOUBLE_EQ(child->score, score);
}

TEST_F(Rescore, CollapsedNodeIsLeftAlone) {
    TreeNode* root = tree.current;
    const int32_t frames = root->summaryFrames;
    tree.leaves->count = 0;
    root->collapase();
    root->included = !root->included;
    root->rescore(true, true, tree.weights.targetLength);
    EXPECT_EQ(root->summaryFrames, frames);
}

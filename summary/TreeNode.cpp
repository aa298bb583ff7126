#include "TreeNode.h"

#include <cstdio>

namespace {
const char* const ALREADY_COLLAPSED = "\nTreeNode::collapase WARNING: node already collapsed";

double valueOr(const SliderState* state, double fallback) {
    return state ? state->value.load() : fallback;
}
} // namespace

RankingWeights RankingWeights::read(const SummaryWeights& sources) {
    RankingWeights w;
    w.targetLength = valueOr(sources.targetLength, w.targetLength);
    w.length = valueOr(sources.lengthWeight, w.length);
    w.continuity = valueOr(sources.continuityWeight, w.continuity);
    w.redundancy = valueOr(sources.redundancyWeight, w.redundancy);
    w.activity = valueOr(sources.activityWeight, w.activity);
    return w;
}

TreeNode::TreeNode(int32_t level) : level(level) {}

void TreeNode::rescore(bool force, bool recurse, const SummaryWeights& weights) {
    const double targetLength = RankingWeights::read(weights).targetLength;
    std::vector<TreeNode*> scratch;
    // Level by level: a node needs only its parent's values, and the nodes of
    // one level share the redundancy walk of their common ancestors.
    std::vector<TreeNode*> pending{this};
    for (size_t i = 0; i < pending.size(); ++i) {
        TreeNode* node = pending[i];
        if (node->collapsed || !node->parent)
            continue;
        if (!node->scoresComputed || force)
            node->computeMeasures(targetLength, scratch);
        if (recurse) {
            if (node->includeChild)
                pending.push_back(node->includeChild);
            if (node->excludeChild)
                pending.push_back(node->excludeChild);
        }
        node->scoresComputed = true;
    }
}

bool TreeNode::collapase() {
    if (collapsed) {
        std::printf("%s", ALREADY_COLLAPSED);
        return false;
    }
    deleteSubtree();
    collapsed = true;
    return true;
}

void TreeNode::deleteSubtree() {
    // Without recursion: the decided path can be tens of thousands of levels deep.
    std::vector<TreeNode*> pending;
    for (TreeNode* node = this;;) {
        if (node->includeChild)
            pending.push_back(node->includeChild);
        if (node->excludeChild)
            pending.push_back(node->excludeChild);
        node->includeChild = nullptr;
        node->excludeChild = nullptr;
        if (node != this)
            delete node;
        if (pending.empty())
            break;
        node = pending.back();
        pending.pop_back();
    }
}

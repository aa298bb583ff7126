#include "SummaryTree.h"

#include "FrameBuffer.h"
#include "Messages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
const char* const LIST_FULL =
    "\nWARNING: frameBufferListPos >= FRAME_BUFFER_LIST_SIZE (possible free error)";
const char* const BROKEN_TREE = "\nERROR HORRENDO";
const char* const TWO_LIVE_CHILDREN = "\nAdvance Root (2):ERROR";
const char* const NO_CHILD = "\nTHIS POINT MUST NOT BE REACHED";

// The junk filter's bounds. A colour count of 1 (one 16-level bin in each of
// Y, U and V) is a flat frame. Natural footage keeps U and V in one bin
// each, so any bound above 1 throws out scenes dominated by one tone (a
// light wall, a dark room, flat animation); black, bars and test cards, and
// flashes are caught by the activity and strong-change rules.
constexpr double JUNK_MIN_ACTIVITY = 2.0;
constexpr double JUNK_MAX_ACTIVITY = 1000.0;
constexpr double JUNK_MAX_COLOR_COUNT = 1.0;

// Every JUMP_SPAN-th level is a landmark; each node links to the nearest one
// above it, which is known from its parent alone.
constexpr int32_t JUMP_SPAN = 8;

std::unique_ptr<NodeList> newNodeList() {
    // Not value-initialised: only count needs a start value.
    return std::unique_ptr<NodeList>(new NodeList);
}

void freeFragment(FrameBuffer* fragment) {
    delete fragment;
}
} // namespace

SummaryTree::SummaryTree(const RankingWeights& weights) : weights(weights) {
    start();
}

SummaryTree::~SummaryTree() {
    freeAll();
}

void SummaryTree::start() {
    root = new TreeNode(0);
    root->jump = root;
    sideSearchRoot = nullptr;
    current = root;
    leaves = newNodeList();
    leaves->append(root);
    levelsAdded = 0;
    levelsAdvanced = 0;
    frameBufferList = std::make_unique_for_overwrite<FrameBuffer*[]>(FRAME_BUFFER_LIST_SIZE);
    frameBufferListPos = 0;
    nextFragmentId = 0;
}

void SummaryTree::freeAll() {
    for (int32_t i = 0; i < frameBufferListPos; ++i)
        freeFragment(frameBufferList[i]);
    frameBufferListPos = 0;
    for (FrameBuffer* fragment : extraFragments)
        freeFragment(fragment);
    std::vector<FrameBuffer*>().swap(extraFragments);
    std::vector<TreeNode*>().swap(scratch);
    if (root) {
        root->deleteSubtree();
        delete root;
    }
    root = nullptr;
    current = nullptr;
    leaves.reset();
}

void SummaryTree::resetTree() {
    freeAll();
    start();
}

TreeNode* SummaryTree::addChild(TreeNode* leaf, bool included, FrameBuffer* fragment,
                                double targetLength, NodeList& newLeaves) {
    TreeNode* node = new TreeNode(levelsAdded);
    node->included = included;
    node->fragment = fragment;
    node->parent = leaf;
    node->lastIncluded = leaf->included ? leaf : leaf->lastIncluded;
    node->jump = leaf->level % JUMP_SPAN == 0 ? leaf : leaf->jump;
    node->computeMeasures(targetLength, scratch);
    node->scoresComputed = true;
    newLeaves.append(node);
    foldExtremes(node);
    return node;
}

void SummaryTree::addFragment(FrameBuffer* fragment, bool includeAllowed) {
    if (!fragment)
        return;
    fragment->number = nextFragmentId++;
    if (frameBufferListPos < FRAME_BUFFER_LIST_SIZE) {
        frameBufferList[frameBufferListPos++] = fragment;
    } else {
        engineMessage(MessageStream::Output, "%s", LIST_FULL);
        extraFragments.push_back(fragment);
    }

    maxLengthScore = maxRedundancyScore = maxContinuityScore = maxActivityScore = -999.0;
    minLengthScore = minRedundancyScore = minContinuityScore = minActivityScore = 999.0;
    ++levelsAdded;

    const double targetLength = weights.targetLength;
    std::unique_ptr<NodeList> newLeaves = newNodeList();
    const int32_t fragmentFrames = fragment->maxFrames;
    for (uint32_t i = 0; i < leaves->count; ++i) {
        TreeNode* leaf = leaves->nodes[i];
        if (includeAllowed)
            leaf->includeChild = addChild(leaf, true, fragment, targetLength, *newLeaves);
        // The ranking weighs a leaf's length only against the other leaves', so
        // at high targets they can all drift short of it together: a leaf that
        // could keep the fragment may not fall short by more than the tolerance.
        const int32_t total = leaf->totalFrames + fragment->length;
        const double shortfall = targetLength * total - leaf->summaryFrames;
        if (!includeAllowed || shortfall <= lengthTolerance(total, targetLength, fragmentFrames))
            leaf->excludeChild = addChild(leaf, false, fragment, targetLength, *newLeaves);
    }
    leaves = std::move(newLeaves);

    scoreLeaves();
    sortByScore(*leaves);
}

void SummaryTree::addFragmentFiltered(FrameBuffer* fragment) {
    if (!fragment)
        return;
    const double minActivity = fragment->getMinActivity();
    const double meanColorCount = fragment->getMeanColorCount();
    const bool strongChange = fragment->hasStrongChange();
    fragment->junk = strongChange || minActivity < JUNK_MIN_ACTIVITY ||
                     minActivity > JUNK_MAX_ACTIVITY || meanColorCount <= JUNK_MAX_COLOR_COUNT;
    fragment->classified = true;
    addFragment(fragment, !fragment->junk);
}

void SummaryTree::preferLeafOnTarget() {
    const double targetLength = weights.targetLength;
    uint32_t chosen = 0;
    double nearest = 0.0;
    // Best first, so the first leaf on target is the best of them.
    for (uint32_t i = 0; i < leaves->count; ++i) {
        const TreeNode* leaf = leaves->nodes[i];
        const int32_t fragmentFrames = leaf->fragment ? leaf->fragment->maxFrames : 0;
        const double off = std::abs(targetLength * leaf->totalFrames - leaf->summaryFrames) -
                           lengthTolerance(leaf->totalFrames, targetLength, fragmentFrames);
        if (i == 0 || off < nearest) {
            chosen = i;
            nearest = off;
        }
        if (off <= 0.0)
            break;
    }
    if (chosen > 0)
        std::rotate(leaves->nodes, leaves->nodes + chosen, leaves->nodes + chosen + 1);
}

uint32_t SummaryTree::liveLeafCount() const {
    uint32_t live = 0;
    for (uint32_t i = 0; i < leaves->count; ++i)
        if (!leaves->nodes[i]->collapsed)
            ++live;
    return live;
}

TreeNode* SummaryTree::sideOf(TreeNode* node) {
    if (!current)
        return nullptr;
    // The answers stay valid for as long as the current root stays.
    if (sideSearchRoot != current) {
        sideSearchRoot = current;
        ++sideSearch;
    }
    // A node's level is its depth, so the answer is the ancestor one level
    // below current: climb by jumps, and remember the answer on every node
    // passed, as neighbouring leaves share most of the way.
    const int32_t target = current->level + 1;
    scratch.clear();
    TreeNode* n = node;
    while (n && n->sideSearch != sideSearch && n->level > target) {
        scratch.push_back(n);
        n = n->jump && n->jump->level >= target ? n->jump : n->parent;
    }
    TreeNode* side = nullptr;
    if (n && n->sideSearch == sideSearch)
        side = n->side;
    else if (n && n->level == target && n->parent == current)
        side = n;
    for (TreeNode* passed : scratch) {
        passed->sideSearch = sideSearch;
        passed->side = side;
    }
    return side;
}

void SummaryTree::brokenTree() {
    engineMessage(MessageStream::Output, "%s", BROKEN_TREE);
    flushEngineMessages();
    std::exit(EXIT_FAILURE);
}

void SummaryTree::pruneLeaves(uint32_t limit) {
    for (uint32_t i = 0; i < leaves->count; ++i)
        leaves->nodes[i]->selected = false;

    std::unique_ptr<NodeList> below[2] = {newNodeList(), newNodeList()};
    for (uint32_t i = 0; i < leaves->count; ++i) {
        TreeNode* leaf = leaves->nodes[i];
        TreeNode* side = current ? sideOf(leaf) : nullptr;
        if (side && side == current->includeChild)
            below[0]->append(leaf);
        else if (side && side == current->excludeChild)
            below[1]->append(leaf);
        else
            brokenTree();
    }

    std::unique_ptr<NodeList> kept = newNodeList();
    uint32_t position[2] = {0, 0};
    auto skipSelected = [&](int s) {
        while (position[s] < below[s]->count && below[s]->nodes[position[s]]->selected)
            ++position[s];
        return position[s] < below[s]->count;
    };
    for (int turn = 0; kept->count < limit && (skipSelected(0) || skipSelected(1)); turn ^= 1) {
        if (!skipSelected(turn))
            continue;
        TreeNode* leaf = below[turn]->nodes[position[turn]++];
        leaf->selected = true;
        kept->append(leaf);
        if (TreeNode* p = leaf->parent) {
            TreeNode* sibling = leaf == p->includeChild ? p->excludeChild : p->includeChild;
            if (sibling && !sibling->selected) {
                sibling->selected = true;
                kept->append(sibling);
            }
        }
    }
    sortByScore(*kept);
    leaves = std::move(kept);
}

void SummaryTree::decideRoot() {
    if (!current || leaves->count == 0)
        return;
    int live = 0;
    for (TreeNode* child : {current->includeChild, current->excludeChild})
        if (child && !child->collapsed)
            ++live;
    if (live < 2)
        return;

    TreeNode* winner = sideOf(leaves->nodes[0]);
    if (!winner)
        brokenTree();
    const bool includeWins = winner == current->includeChild;
    TreeNode* loser = includeWins ? current->excludeChild : current->includeChild;

    std::unique_ptr<NodeList> kept = newNodeList();
    for (uint32_t i = 0; i < leaves->count; ++i)
        if (sideOf(leaves->nodes[i]) == winner)
            kept->append(leaves->nodes[i]);
    leaves = std::move(kept);

    loser->collapase();
    delete loser;
    if (includeWins)
        current->excludeChild = nullptr;
    else
        current->includeChild = nullptr;
}

FrameBuffer* SummaryTree::advanceRoot(bool& included) {
    if (!current)
        return nullptr;
    TreeNode*& include = current->includeChild;
    TreeNode*& exclude = current->excludeChild;
    TreeNode* next = nullptr;
    auto dropChild = [](TreeNode*& child) {
        child->deleteSubtree();
        delete child;
        child = nullptr;
    };
    if (include && exclude) {
        if (include->collapsed) {
            dropChild(include);
            next = exclude;
        } else if (exclude->collapsed) {
            dropChild(exclude);
            next = include;
        } else {
            engineMessage(MessageStream::Output, "%s", TWO_LIVE_CHILDREN);
        }
    } else if (include || exclude) {
        next = include ? include : exclude;
    } else {
        engineMessage(MessageStream::Output, "%s", NO_CHILD);
        flushEngineMessages();
    }
    // The root stays where it is rather than becoming none: the tree remains
    // usable and nothing is handed over twice.
    if (!next)
        return nullptr;

    FrameBuffer* fragment = current->fragment;
    if (fragment)
        included = current->included;
    ++levelsAdvanced;
    current = next;
    return fragment;
}

void retireDecidedFragment(FrameBuffer* fragment, bool included) {
    if (included) {
        Frame* frame = fragment->first;
        for (int k = 0; k < fragment->count && frame != nullptr; ++k, frame = frame->next)
            frame->switchToHistogramMode();
    } else {
        fragment->deleteAllFrames();
    }
    fragment->comparisonList.release();
}

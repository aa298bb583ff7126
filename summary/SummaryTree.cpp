#include "SummaryTree.h"

#include "EngineFailure.h"
#include "FrameBuffer.h"
#include "Messages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {
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

} // namespace

SummaryTree::SummaryTree(const RankingWeights& weights) : weights(weights) {
    start();
}

SummaryTree::~SummaryTree() {
    freeAll();
}

void SummaryTree::start() {
    root = std::make_unique<TreeNode>(0);
    root->jump = root.get();
    sideSearchRoot = nullptr;
    current = root.get();
    leaves.clear();
    leaves.push_back(root.get());
    levelsAdded = 0;
    levelsAdvanced = 0;
    nextFragmentId = 0;
    framesKeptFrom = 0;
    streamEnded = false;
    lastLevel = 0;
    framesToTheEnd = 0;
}

void SummaryTree::freeAll() {
    leaves.clear();
    current = nullptr;
    root.reset();
    std::vector<std::unique_ptr<FrameBuffer>>().swap(fragments);
    std::vector<TreeNode*>().swap(scratch);
}

void SummaryTree::resetTree() {
    freeAll();
    start();
}

TreeNode* SummaryTree::addChild(TreeNode* leaf, bool included, FrameBuffer* fragment,
                                double targetLength, NodeList& newLeaves) {
    std::unique_ptr<TreeNode>& child = included ? leaf->includeChild : leaf->excludeChild;
    child = std::make_unique<TreeNode>(levelsAdded);
    TreeNode* node = child.get();
    node->included = included;
    node->fragment = fragment;
    node->parent = leaf;
    node->lastIncluded = leaf->included ? leaf : leaf->lastIncluded;
    node->jump = leaf->level % JUMP_SPAN == 0 ? leaf : leaf->jump;
    node->computeMeasures(targetLength, scratch);
    node->scoresComputed = true;
    newLeaves.push_back(node);
    foldExtremes(node);
    return node;
}

void SummaryTree::addFragment(std::unique_ptr<FrameBuffer> owned, bool includeAllowed) {
    if (!owned)
        return;
    FrameBuffer* fragment = owned.get();
    fragment->number = nextFragmentId++;
    fragments.push_back(std::move(owned));
    growLevel(fragment, includeAllowed);
}

void SummaryTree::regrowToTheEnd(uint32_t nodeLimit) {
    streamEnded = true;
    if (!weights.byGains() || !current)
        return;
    // The levels below the root are chosen again, each leaf now held to the
    // target exactly: what they were chosen with let leaves run a little
    // off it, and by the end none may be left that meets it.
    const int32_t last = levelsAdded;
    lastLevel = last;
    framesToTheEnd = current->totalFrames;
    for (int32_t level = current->level; level < last; ++level)
        framesToTheEnd += fragments[static_cast<size_t>(level)]->length;
    leaves.clear();
    current->includeChild.reset();
    current->excludeChild.reset();
    leaves.push_back(current);
    levelsAdded = current->level;
    while (levelsAdded < last) {
        FrameBuffer* fragment = fragments[static_cast<size_t>(levelsAdded)].get();
        growLevel(fragment, !(fragment->classified && fragment->junk));
        if (liveLeafCount() > nodeLimit)
            pruneLeaves(nodeLimit);
    }
}

void SummaryTree::growLevel(FrameBuffer* fragment, bool includeAllowed) {
    maxLengthScore = maxRedundancyScore = maxContinuityScore = maxActivityScore = -999.0;
    minLengthScore = minRedundancyScore = minContinuityScore = minActivityScore = 999.0;
    ++levelsAdded;

    const double targetLength = weights.targetLength;
    if (helper && includeAllowed)
        measureAhead(fragment, levelsAdded);
    NodeList newLeaves;
    newLeaves.reserve(2 * leaves.size());
    // An utterance may be far longer than a fragment: leaving one out may
    // put a leaf that far behind.
    const int32_t fragmentFrames =
        weights.wholeSpeech ? std::max(fragment->maxFrames, fragment->length) : fragment->maxFrames;
    for (uint32_t i = 0; i < leaves.size(); ++i) {
        TreeNode* leaf = leaves[i];
        if (includeAllowed)
            addChild(leaf, true, fragment, targetLength, newLeaves);
        // The ranking weighs a leaf's length only against the other leaves', so
        // at high targets they can all drift short of it together: a leaf that
        // could keep the fragment may not fall short by more than the tolerance.
        const int32_t total = leaf->totalFrames + fragment->length;
        const double shortfall = targetLength * total - leaf->summaryFrames;
        if (!includeAllowed || shortfall <= lengthTolerance(total, targetLength, fragmentFrames))
            addChild(leaf, false, fragment, targetLength, newLeaves);
    }
    leaves = std::move(newLeaves);

    scoreLeaves();
    sortByScore(leaves);
}

void SummaryTree::addFragmentFiltered(std::unique_ptr<FrameBuffer> owned) {
    if (!owned)
        return;
    FrameBuffer* fragment = owned.get();
    const double minActivity = fragment->getMinActivity();
    const double meanColorCount = fragment->getMeanColorCount();
    const bool strongChange = fragment->hasStrongChange();
    fragment->junk = strongChange || minActivity < JUNK_MIN_ACTIVITY ||
                     minActivity > JUNK_MAX_ACTIVITY || meanColorCount <= JUNK_MAX_COLOR_COUNT;
    fragment->classified = true;
    addFragment(std::move(owned), !fragment->junk);
}

void SummaryTree::preferLeafOnTarget() {
    const double targetLength = weights.targetLength;
    uint32_t chosen = 0;
    double nearest = 0.0;
    // Best first, so the first leaf on target is the best of them.
    for (uint32_t i = 0; i < leaves.size(); ++i) {
        const TreeNode* leaf = leaves[i];
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
        std::rotate(leaves.begin(), leaves.begin() + chosen, leaves.begin() + chosen + 1);
}

uint32_t SummaryTree::liveLeafCount() const {
    uint32_t live = 0;
    for (uint32_t i = 0; i < leaves.size(); ++i)
        if (!leaves[i]->collapsed)
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
    throw EngineFailure(BROKEN_TREE, EXIT_FAILURE);
}

void SummaryTree::pruneLeaves(uint32_t limit) {
    for (uint32_t i = 0; i < leaves.size(); ++i)
        leaves[i]->selected = false;

    NodeList below[2];
    for (uint32_t i = 0; i < leaves.size(); ++i) {
        TreeNode* leaf = leaves[i];
        TreeNode* side = current ? sideOf(leaf) : nullptr;
        if (side && side == current->includeChild.get())
            below[0].push_back(leaf);
        else if (side && side == current->excludeChild.get())
            below[1].push_back(leaf);
        else
            brokenTree();
    }

    NodeList kept;
    uint32_t position[2] = {0, 0};
    auto skipSelected = [&](int s) {
        while (position[s] < below[s].size() && below[s][position[s]]->selected)
            ++position[s];
        return position[s] < below[s].size();
    };
    for (int turn = 0; kept.size() < limit && (skipSelected(0) || skipSelected(1)); turn ^= 1) {
        if (!skipSelected(turn))
            continue;
        TreeNode* leaf = below[turn][position[turn]++];
        leaf->selected = true;
        kept.push_back(leaf);
        if (TreeNode* p = leaf->parent) {
            TreeNode* sibling =
                (leaf == p->includeChild.get() ? p->excludeChild : p->includeChild).get();
            if (sibling && !sibling->selected) {
                sibling->selected = true;
                kept.push_back(sibling);
            }
        }
    }
    sortByScore(kept);
    for (uint32_t i = 0; i < leaves.size(); ++i)
        if (!leaves[i]->selected)
            dropLeaf(leaves[i]);
    leaves = std::move(kept);
}

void SummaryTree::dropLeaf(TreeNode* leaf) {
    // A leaf left out never grows again: it goes now, with every ancestor it
    // leaves childless, rather than staying until the root passes its side.
    // At the top limits that is most of the tree's nodes.
    TreeNode* node = leaf;
    while (node != current && node->parent) {
        TreeNode* parent = node->parent;
        (parent->includeChild.get() == node ? parent->includeChild : parent->excludeChild).reset();
        if (parent->includeChild || parent->excludeChild)
            return;
        node = parent;
    }
}

void SummaryTree::decideRoot() {
    if (!current || leaves.size() == 0)
        return;
    int live = 0;
    for (const TreeNode* child : {current->includeChild.get(), current->excludeChild.get()})
        if (child && !child->collapsed)
            ++live;
    if (live < 2)
        return;

    TreeNode* winner = sideOf(leaves[0]);
    if (!winner)
        brokenTree();
    const bool includeWins = winner == current->includeChild.get();

    NodeList kept;
    for (uint32_t i = 0; i < leaves.size(); ++i)
        if (sideOf(leaves[i]) == winner)
            kept.push_back(leaves[i]);
    leaves = std::move(kept);

    // The losing side goes with its whole subtree.
    (includeWins ? current->excludeChild : current->includeChild).reset();
}

FrameBuffer* SummaryTree::advanceRoot(bool& included) {
    if (!current)
        return nullptr;
    std::unique_ptr<TreeNode>& include = current->includeChild;
    std::unique_ptr<TreeNode>& exclude = current->excludeChild;
    TreeNode* next = nullptr;
    if (include && exclude) {
        if (include->collapsed) {
            include.reset();
            next = exclude.get();
        } else if (exclude->collapsed) {
            exclude.reset();
            next = include.get();
        } else {
            engineMessage(MessageStream::Output, "%s", TWO_LIVE_CHILDREN);
        }
    } else if (include || exclude) {
        next = include ? include.get() : exclude.get();
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
    forgetFramesOutOfReach();
    return fragment;
}

void SummaryTree::forgetFramesOutOfReach() {
    // Every fragment to come lies below the root and is compared with kept
    // fragments at most REDUNDANCY_REACH levels above its own; a rescore
    // starts at the root. Two levels more are kept for good measure.
    const int64_t lowestInReach = int64_t{current->level} - REDUNDANCY_REACH - 2;
    while (framesKeptFrom < fragments.size() &&
           static_cast<int64_t>(framesKeptFrom) + 1 < lowestInReach) {
        fragments[framesKeptFrom]->releaseFrames();
        ++framesKeptFrom;
    }
}

void retireDecidedFragment(FrameBuffer* fragment, bool included) {
    if (included)
        fragment->keepOnlyComparison();
    else
        fragment->releaseFrames();
    fragment->comparisonList.release();
}

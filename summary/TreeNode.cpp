#include "TreeNode.h"

#include "Messages.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
const char* const ALREADY_COLLAPSED = "\nTreeNode::collapase WARNING: node already collapsed";

// Freed nodes of this thread, newest last: the newest are the likeliest to
// be in the processor's cache still, and taking one does not touch its
// memory. Under AddressSanitizer every node goes back to the heap so that a
// use after free is still caught.
//
// A tree makes and frees a few times its leaf limit per fragment; what a
// thread frees beyond that (a whole tree at a reset) goes back to the heap,
// so that a thread done with its tree does not keep its nodes for good.
constexpr size_t MAX_CACHED_NODES = size_t{1} << 16;

struct NodeCache {
    void** freeNodes = nullptr;
    size_t count = 0;
    size_t capacity = 0;
    int64_t live = 0;
    // Set once the thread's cache is gone: a tree that outlives it (one with
    // static storage, freed after the thread's objects) frees its nodes itself.
    bool closed = false;

    void* pop() { return count > 0 ? freeNodes[--count] : nullptr; }

    // False when there is no room and none can be had.
    bool push(void* node) {
        if (closed || count == MAX_CACHED_NODES)
            return false;
        if (count == capacity) {
            const size_t grown = capacity ? 2 * capacity : 4096;
            void* room = std::realloc(freeNodes, grown * sizeof(void*));
            if (!room)
                return false;
            freeNodes = static_cast<void**>(room);
            capacity = grown;
        }
        freeNodes[count++] = node;
        return true;
    }

    ~NodeCache() {
        for (size_t i = 0; i < count; ++i)
            std::free(freeNodes[i]);
        std::free(freeNodes);
        freeNodes = nullptr;
        count = capacity = 0;
        closed = true;
    }
};

thread_local NodeCache nodeCache;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool RECYCLE_NODES = false;
#else
constexpr bool RECYCLE_NODES = true;
#endif

} // namespace

TreeNode::TreeNode(int32_t level) : level(level) {}

TreeNode::~TreeNode() {
    deleteSubtree();
}

void* TreeNode::operator new(std::size_t size) {
    void* node = RECYCLE_NODES && size == sizeof(TreeNode) ? nodeCache.pop() : nullptr;
    if (!node) {
        node = std::malloc(size);
        if (!node)
            throw std::bad_alloc();
    }
    ++nodeCache.live;
    return node;
}

void TreeNode::operator delete(void* node) noexcept {
    if (!node)
        return;
    --nodeCache.live;
    if (!RECYCLE_NODES || !nodeCache.push(node))
        std::free(node);
}

int64_t TreeNode::liveNodes() {
    return nodeCache.live;
}

void TreeNode::rescore(bool force, bool recurse, double targetLength) {
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
                pending.push_back(node->includeChild.get());
            if (node->excludeChild)
                pending.push_back(node->excludeChild.get());
        }
        node->scoresComputed = true;
    }
}

bool TreeNode::collapase() {
    if (collapsed) {
        engineMessage(MessageStream::Output, "%s", ALREADY_COLLAPSED);
        return false;
    }
    deleteSubtree();
    collapsed = true;
    return true;
}

void TreeNode::deleteSubtree() {
    // Without recursion: the decided path can be tens of thousands of levels
    // deep. A node is freed once its children are taken from it, so its own
    // destructor finds nothing left to free.
    std::vector<std::unique_ptr<TreeNode>> pending;
    if (includeChild)
        pending.push_back(std::move(includeChild));
    if (excludeChild)
        pending.push_back(std::move(excludeChild));
    while (!pending.empty()) {
        std::unique_ptr<TreeNode> node = std::move(pending.back());
        pending.pop_back();
        if (node->includeChild)
            pending.push_back(std::move(node->includeChild));
        if (node->excludeChild)
            pending.push_back(std::move(node->excludeChild));
    }
}

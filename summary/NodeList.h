#pragma once

// A counted list of tree nodes with a fixed room. At 1.6 MB it always lives
// on the heap.

#include <cstdint>

class TreeNode;

constexpr uint32_t NODE_LIST_SIZE = 200000;

struct NodeList {
    uint32_t count = 0;
    TreeNode* nodes[NODE_LIST_SIZE]; // only the first count entries are meaningful

    // A full list ignores further nodes.
    void append(TreeNode* node) {
        if (count < NODE_LIST_SIZE)
            nodes[count++] = node;
    }
};

#pragma once

// The leaves of the summary tree, best first once sorted.

#include <vector>

class TreeNode;

using NodeList = std::vector<TreeNode*>;

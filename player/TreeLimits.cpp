#include "TreeLimits.h"

#include "WidgetDriver.h"

#include <algorithm>

namespace {
// The strips' scales, and where an empty buffer takes the limits.
constexpr int kLeastDepth = 20, kMostDepth = 90;
constexpr int kLeastNodes = 100, kMostNodes = 5000;
} // namespace

void TreeLimits::update(const PlayerSettings& settings, double fill) {
    const int depthPosition = settings.summary.depth;
    const int nodesPosition = settings.summary.nodes;
    if (settings.automaticControl) {
        depthLimit =
            static_cast<int32_t>((depthPosition - kLeastDepth) * fill * fill + kLeastDepth);
        nodeLimit = static_cast<int32_t>((nodesPosition - kLeastNodes) * fill + kLeastNodes);
    } else {
        depthLimit = depthPosition;
        nodeLimit = nodesPosition;
    }
}

void TreeLimits::post(WidgetDriver* driver, const PlayerSettings& settings) {
    const int32_t wanted[4] = {depthLimit, settings.summary.depth, nodeLimit,
                               settings.summary.nodes};
    if (driver == nullptr || std::equal(wanted, wanted + 4, posted))
        return;
    std::copy(wanted, wanted + 4, posted);
    driver->setTreeDepthStrip(kLeastDepth, kMostDepth, depthLimit, wanted[1], 0);
    driver->setTreeNodesStrip(kLeastNodes, kMostNodes, nodeLimit, wanted[3], 0);
}

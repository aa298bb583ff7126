#include "TreeLimits.h"

#include "SettingsSchema.h"
#include "WidgetDriver.h"

#include <algorithm>

namespace {
// The strips' scales are the settings' ranges; an empty buffer takes the
// limits to their lowest.
const SettingEntry& kDepth = settingEntry(Setting::Depth);
const SettingEntry& kNodes = settingEntry(Setting::Nodes);
const int kLeastDepth = static_cast<int>(kDepth.low);
const int kLeastNodes = static_cast<int>(kNodes.low);
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
    driver->setTreeDepthStrip(kDepth.low, kDepth.high, depthLimit, wanted[1], 0);
    driver->setTreeNodesStrip(kNodes.low, kNodes.high, nodeLimit, wanted[3], 0);
}

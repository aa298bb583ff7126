#include "HeadlessControls.h"

HeadlessControls::HeadlessControls(const SummarySettings& s) {
    targetLength.value = s.target;
    lengthWeight.value = s.lengthWeight;
    continuityWeight.value = s.continuityWeight;
    redundancyWeight.value = s.redundancyWeight;
    activityWeight.value = s.activityWeight;
    treeDepth.value = s.depth;
    treeNodes.value = s.nodes;
    shared.positionCtl = &position;
    shared.targetLengthCtl = &targetLength;
    shared.lengthWeightCtl = &lengthWeight;
    shared.continuityWeightCtl = &continuityWeight;
    shared.redundancyWeightCtl = &redundancyWeight;
    shared.activityWeightCtl = &activityWeight;
    shared.treeDepthCtl = &treeDepth;
    shared.treeNodesCtl = &treeNodes;
    shared.treeDepthPosition = s.depth;
    shared.treeNodesPosition = s.nodes;
    shared.automaticControl = false;
    shared.avoidEmptyBuffer = false;
    shared.junkSegmentFilter = s.junkFilter;
    shared.summaryMode = true;
    shared.playMode = false;
    shared.pauseMode = false;
    shared.driver = nullptr;
}

#pragma once

// The controls of a summary run without a window: plain slider states holding
// the settings, wired into SharedControls as the window's widgets would be.
// Summary mode is on; automatic control and Avoid Empty Buffer are off, and
// no widget is driven.

#include "SharedControls.h"

struct HeadlessControls {
    explicit HeadlessControls(const SummarySettings& settings = {});
    HeadlessControls(const HeadlessControls&) = delete;
    HeadlessControls& operator=(const HeadlessControls&) = delete;

    SliderState position;
    SliderState targetLength;
    SliderState lengthWeight;
    SliderState continuityWeight;
    SliderState redundancyWeight;
    SliderState activityWeight;
    SliderState treeDepth;
    SliderState treeNodes;
    SharedControls shared;
};

#pragma once

// The summary tree's depth and node limits as the player applies them:
// the window's, or with automatic control the window's scaled by how full
// the playback buffer is (an emptying buffer gets a shallower, faster
// tree). The two strips show the limit in force against the chosen one.

#include "PlayerSettings.h"

#include <cstdint>

class WidgetDriver;

class TreeLimits {
public:
    // fill: how full the buffer is, from 0 to 1.
    void update(const PlayerSettings& settings, double fill);
    int32_t depth() const { return depthLimit; }
    int32_t nodes() const { return nodeLimit; }
    // Draws the strips when what they show changed.
    void post(WidgetDriver* driver, const PlayerSettings& settings);

private:
    int32_t depthLimit = 0;
    int32_t nodeLimit = 0;
    int32_t posted[4] = {-1, -1, -1, -1};
};

#pragma once

// The engine's summary of a video, as the player's Summary mode from 0 makes
// it with these settings (HeadlessSummary.h): the frames it keeps, at the
// quality bench's 25 a second.

#include "QualityBaselines.h"
#include "SummarySettings.h"

#include <string>
#include <vector>

std::vector<KeptFrames> engineSummary(const std::string& path, const SummarySettings& settings);

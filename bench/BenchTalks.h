#pragma once

// The talks of tessaro-bench quality: how whole each method keeps the speech
// of talks whose every sentence is timed (QualityTalks.h, SpeechTally.h).

#include "QualityTalks.h"

#include <cstdio>
#include <string>
#include <vector>

// Runs every method on every talk at targets 0.1-0.3, prints a table for
// each half to out, and adds to failures where keeping speech whole falls
// short. Returns the closing "speech: ..." line, pooled over both ways of
// keeping speech whole, every talk and target.
std::string benchTalks(std::FILE* out, const std::vector<Talk>& talks,
                       std::vector<std::string>* failures);

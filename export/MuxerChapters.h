#pragma once

// Chapters in a summary video. The MP4 muxer takes chapters before its
// header, and a summary's segments are known only once it is written, so the
// written file is copied (its packets as they are) into one that carries them.

#include "SegmentList.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Called with the number of pictures copied so far, after each one.
using CopyProgress = std::function<void(int64_t pictures)>;

// Copies the MP4 at from into a new MP4 at to, its index first, with the
// chapters (times in milliseconds); false with a reason in *error.
bool copyWithChapters(const std::string& from, const std::string& to,
                      const std::vector<Chapter>& chapters, std::string* error,
                      const CopyProgress& progress = {});

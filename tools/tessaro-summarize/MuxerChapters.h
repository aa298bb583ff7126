#pragma once

// Chapters of a file being written. The MP4 muxer makes room for chapters
// when its header is written and writes them with its index at the end, so
// a file whose chapters are known only at the end reserves one first and
// sets them all before the trailer.

#include "SegmentList.h"

#include <vector>

struct AVFormatContext;

// Before avformat_write_header: one placeholder chapter.
bool reserveChapters(AVFormatContext* output);
// Before av_write_trailer: the chapters, in milliseconds, replacing any set before.
bool setChapters(AVFormatContext* output, const std::vector<Chapter>& chapters);

#pragma once

// The subtitles of the kept spans on the summary's clock: each line that
// overlaps a kept segment cut to it and moved by the segment's place in the
// summary (where the segments follow each other without gaps), as
// tessaro-summarize --subtitles writes them and the summary video carries.

#include "SegmentList.h"
#include "SubtitleReader.h"

#include <cstdint>
#include <string>
#include <vector>

struct SummaryLine {
    int64_t startMs = 0; // in the summary
    int64_t endMs = 0;
    std::string text; // plain, line breaks as '\n'
    bool operator==(const SummaryLine&) const = default;
};

// Sorted by start (lines that start together keep the source's order).
std::vector<SummaryLine> summaryLines(const std::vector<SubtitleLine>& lines,
                                      const std::vector<Segment>& segments);

// SubRip: numbered from 1, times as 00:01:02,345.
std::string formatSrt(const std::vector<SummaryLine>& lines);

// Plain text as an ASS event's Text: its line breaks as \N.
std::string eventText(const std::string& text);

// A mov_text track's samples: one from each time a line starts or ends to
// the next, showing the lines then on screen together (a sample's time
// must follow the one before).
std::vector<SummaryLine> samplesOf(const std::vector<SummaryLine>& lines);

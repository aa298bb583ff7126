#pragma once

// The summary as an editor's timeline beside the EDL: OpenTimelineIO (JSON),
// FCPXML 1.9 and MLT XML as Shotcut opens it. Each holds one clip of the
// source per segment, placed one after another, at frames counted in the
// source's own rate (rational, never rounded seconds), and the source's
// sound on a track of its own when it has sound.

#include "SegmentList.h"

#include <cstdint>
#include <string>
#include <vector>

// One segment on the timeline, in frames of the timeline's rate.
struct TimelineCut {
    int64_t in = 0;     // first frame in the source, counted from its first picture
    int64_t frames = 1; // length, at least one frame
    int64_t record = 0; // where it sits on the timeline
    std::string name;   // "Segment 3 (1:02.40)"
};

// The rate a timeline counts in: the source's average rate when its rate
// varies, else its frame rate.
struct TimelineRate {
    int num = 25;
    int den = 1;
};
TimelineRate timelineRate(const SummaryReport& report);

std::vector<TimelineCut> timelineCuts(const SummaryReport& report);
// Frames of the whole source at the timeline's rate (at least the cuts' reach).
int64_t sourceFrames(const SummaryReport& report, const std::vector<TimelineCut>& cuts);

// The absolute file:// URL of a path, its bytes outside the unreserved set
// and "/" percent-escaped (UTF-8 letters become their escaped bytes).
std::string fileUrl(const std::string& path);
// The path made absolute against the working folder, as an editor opens it.
std::string absolutePath(const std::string& path);
// Text for an XML attribute or element: & < > " ' as entities, and control
// characters XML cannot hold replaced.
std::string xmlText(const std::string& text);
// The title the timelines carry: "film.mp4 summary".
std::string timelineTitle(const SummaryReport& report);

std::string formatOtio(const SummaryReport& report);
std::string formatFcpxml(const SummaryReport& report);
std::string formatMlt(const SummaryReport& report);

#pragma once

// The summary as a list of segments, and its text forms: JSON, CSV, a
// CMX3600-style edit decision list, FFmpeg's chapters, and the editors'
// timelines (EditorTimeline.h).

#include "JsonText.h"
#include "SummarySettings.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class ListFormat { Json, Csv, Edl, Chapters, Otio, Fcpxml, Mlt };

// One fragment the summary keeps, as its frames came out of the engine.
struct KeptFragment {
    int64_t firstFrameNumber = 0; // the engine's running frame number of its first frame
    int frames = 0;
    double start = 0.0; // time of its first frame, seconds
    double end = 0.0;   // time of its last frame plus one frame duration
    int32_t shot = -1;  // with shot-aware ranking, the shot it shows
};

// True when `next` begins where `previous` ends, in the same shot: the two
// are one segment, so that no segment holds a cut.
bool continuesSegment(const KeptFragment& previous, const KeptFragment& next);

// Kept fragments that follow each other without a gap, merged.
struct Segment {
    double start = 0.0;
    double end = 0.0;
    int frames = 0;
};

// Fragments must come in decoding order; a fragment continues the segment
// before it when its first frame number follows that segment's last one.
std::vector<Segment> mergeFragments(const std::vector<KeptFragment>& fragments);

double summaryDuration(const std::vector<Segment>& segments);

struct SummaryReport {
    std::string video;
    double duration = 0.0;
    int frameRateNum = 25; // the source's frame rate, used for timecodes
    int frameRateDen = 1;
    bool hasAudio = false;
    // What the timelines need besides: the video's clock at its first
    // picture, its picture size and shape, and its average rate when the
    // frame rate varies.
    double start = 0.0;
    int width = 0;
    int height = 0;
    int sarNum = 1;
    int sarDen = 1;
    bool variableRate = false;
    int averageRateNum = 25;
    int averageRateDen = 1;
    SummarySettings settings;
    std::vector<Segment> segments;
    // More members of the JSON list, after the summary's duration.
    Json extra = Json::object();
};

std::string formatJson(const SummaryReport& report);
std::string formatCsv(const SummaryReport& report);
std::string formatEdl(const SummaryReport& report);
// FFmpeg's metadata file (FFMETADATA1): a chapter of the source video per
// segment, in milliseconds, for `ffmpeg -i VIDEO -i LIST -map_chapters 1`.
std::string formatChapters(const SummaryReport& report);

// A chapter: its span in milliseconds and its title.
struct Chapter {
    int64_t start = 0;
    int64_t end = 0;
    std::string title;
};
// One chapter per segment, at its times in the source (inSummary false) or
// in the summary video, where the segments follow each other without gaps.
std::vector<Chapter> segmentChapters(const std::vector<Segment>& segments, bool inSummary);
std::string formatList(const SummaryReport& report, ListFormat format);

// The source frame index of a time, at the exact frame rate num/den.
int64_t sourceFrame(double seconds, int num, int den);

// "HH:MM:SS:FF" of a frame count at a whole timecode base (24, 25, 30, ...).
std::string timecode(int64_t frame, int base);
// The whole timecode base of a frame rate: 29.97 counts in 30, 23.976 in 24.
int timecodeBase(int frameRateNum, int frameRateDen);

// The file name of a path, without its folders.
std::string baseName(const std::string& path);

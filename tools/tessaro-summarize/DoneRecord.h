#pragma once

// How a batch tells that a video is done: the JSON list it writes last for
// each video carries the content key of the video, its settings exactly, and
// every other file written with its size. A later run that finds all of it
// unchanged has nothing to do for the video.

#include "JsonText.h"
#include "SummarySettings.h"

#include <string>
#include <utility>
#include <vector>

// The settings as exact text: the list's own rounds them to three places.
std::string settingsKey(const SummarySettings& settings);

// The record's members, as SummaryReport::extra takes them (the files are
// added by whoever writes them). An --audio-track N other than 0 is kept
// as audio_track, which the summary video's sound depends on.
Json recordFields(const std::string& contentKey, const SummarySettings& settings,
                  int audioTrack = 0);

struct DoneCheck {
    bool done = false;
    double duration = -1.0;
    double kept = -1.0;
};

// Whether the record at path was made from this content with these settings
// and names every one of files (and of whenKept, unless the summary was
// empty) at the size it has now, with the same audio_track (0 when absent).
DoneCheck checkDone(const std::string& record, const std::string& contentKey,
                    const SummarySettings& settings, const std::vector<std::string>& files,
                    const std::vector<std::string>& whenKept, int audioTrack = 0);

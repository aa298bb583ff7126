#pragma once

// Readers of the tests' own for the editor timelines: what an editor would
// take from each file, and what in it would stop an editor reading it.

#include <cstdint>
#include <string>
#include <vector>

struct ReadClip {
    int64_t in = 0;     // first source frame
    int64_t frames = 0; // length
    int64_t record = 0; // where it sits on the timeline
    std::string name;
};

struct ReadTimeline {
    std::string format;
    std::string problems; // empty when the file holds what an editor needs
    double rate = 0.0;    // frames a second the times count in
    int width = 0;
    std::string source; // the path the clips open, unescaped
    std::string rawUrl; // the URL as written (OTIO, FCPXML)
    std::vector<ReadClip> video;
    bool hasAudio = false;
    int audioClips = -1; // clips on a sound track of its own, -1 without one
};

ReadTimeline readOtio(const std::string& text);
ReadTimeline readFcpxml(const std::string& text);
ReadTimeline readMlt(const std::string& text);

// A file:// URL's path with its escapes undone; empty with a byte a URL may
// not hold as it is.
std::string urlPath(const std::string& url);

#pragma once

// Reads the subtitle track shown on a worker of its own, its lines handed
// to the screen's thread as they are read (a track in the video demuxes the
// whole file, which takes a while). Choosing another track, or none, stops
// the reading under way and starts the next. Whatever the reader passed
// over or could not read is told once each, on the worker's thread.
// Created, used and ended on one thread; the lines from any.

#include "MediaTracks.h"
#include "SubtitleLines.h"
#include "Worker.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>

class SubtitleFeed {
public:
    using Notice = std::function<void(const std::string&)>;

    explicit SubtitleFeed(Notice notice);
    // Stops the reading and waits for it.
    ~SubtitleFeed();
    SubtitleFeed(const SubtitleFeed&) = delete;
    SubtitleFeed& operator=(const SubtitleFeed&) = delete;

    // The lines of this track from now on; none: no subtitles.
    void show(const std::optional<MediaTrack>& track);
    // Asks the reading to end, without waiting for it.
    void requestStop() { worker.requestStop(); }

    SubtitleLines lines;

private:
    void read(const MediaTrack& track);

    const Notice notice;
    std::atomic<bool> stopping{false};
    Worker worker;
};

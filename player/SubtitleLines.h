#pragma once

// The lines of the subtitle track shown, handed from the thread that reads
// them to the screen's thread as they are read. A new track (or none)
// replaces the lines of the one before. Any thread.

#include "SubtitleReader.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class SubtitleLines {
public:
    // What came since the reader's last take.
    struct Taken {
        // A new track began: its header (empty: no track), and its lines from the first.
        bool newTrack = false;
        std::string header;
        std::vector<SubtitleLine> lines;
    };

    // A track begins with its ASS header; an empty one: none is shown.
    void begin(std::string header) {
        {
            const std::lock_guard lock(mutex);
            pending.newTrack = true;
            pending.header = std::move(header);
            pending.lines.clear();
        }
        ++tracks;
        ++changes;
    }
    void add(SubtitleLine line) {
        {
            const std::lock_guard lock(mutex);
            pending.lines.push_back(std::move(line));
        }
        ++changes;
    }
    // Counts every change, so that a reader sees cheaply whether to take.
    uint64_t changeCount() const { return changes.load(); }
    // Counts the tracks begun.
    uint64_t trackCount() const { return tracks.load(); }
    Taken take() {
        Taken taken;
        const std::lock_guard lock(mutex);
        std::swap(taken, pending);
        return taken;
    }

private:
    std::mutex mutex;
    Taken pending;
    std::atomic<uint64_t> changes{0};
    std::atomic<uint64_t> tracks{0};
};

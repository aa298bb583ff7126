#pragma once

// What the player is doing, published as one snapshot that the overlay, the
// buttons, the position slider, the title and the desktop's media controls
// read; none of them guesses from what it last drew or sent. Each field has
// one writer: the mode and the sound by the intake of commands, the
// position and the end by the screen's thread, the subtitles by the
// window, the rest by the decoding loop. Every change gives the state a new generation.

#include "PlayerCommands.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct PlayerState {
    // Play or Summary: the mode playing, or the one a pause holds.
    PlayerMode mode = PlayerMode::Play;
    bool paused = false;
    // The video, or its summary, has been shown to its end.
    bool ended = false;
    // The time in the video of the picture on screen (after a seek, where
    // the next picture will be until it is shown).
    double position = 0.0;
    double duration = 0.0;
    // Where the readable data ends, when decoding met that end well before
    // the duration the file claims; negative while unknown and for a whole file.
    double readableEnd = -1.0;
    double speed = 1.0;
    int32_t volumePercent = 100;
    bool muted = false;
    // Until when (steady clock, milliseconds) the picture says the volume.
    int64_t soundNoticeUntil = 0;
    // Summary fills its tree before its first picture.
    bool summaryFilling = false;
    // Start times of the summary's segments handed on, in the video.
    std::vector<double> segments;
    // The file's audio stream the sound is taken from; -1 without one.
    int32_t audioStream = -1;
    // What the loop said last of a track it could not play, counted so
    // that the window tells each once.
    std::string trackNotice;
    uint32_t trackNotices = 0;
    // The subtitle track chosen (its place in the video's list; -1: none),
    // and whether the subtitles show.
    int32_t subtitleTrack = -1;
    bool subtitlesShown = false;
    uint64_t generation = 0;
    // In Summary: where the summary's first segment handed on starts
    // (negative before one is), and where its last one does once every
    // decision is made (negative before). The media controls' Next and
    // Previous go to another video past them.
    double firstSegmentStart = -1.0;
    double lastSegmentStart = -1.0;

    // What the overlay and the buttons show.
    PlayerMode shownMode() const { return paused ? PlayerMode::Pause : mode; }
};

class PlayerStateBoard {
public:
    PlayerState snapshot() const {
        const std::lock_guard lock(mutex);
        return current;
    }
    // One field, or what read makes of the state, without copying it whole:
    // for the screen's and the decoding loop's passes.
    template <typename Read> auto read(Read read) const {
        const std::lock_guard lock(mutex);
        return read(current);
    }
    // Changes the state under its lock; the listeners hear of it when
    // anything changed. change returns whether it changed anything.
    template <typename Change> void update(Change change) {
        {
            const std::lock_guard lock(mutex);
            if (!change(current))
                return;
            ++current.generation;
        }
        const std::lock_guard calling(hearing);
        for (const auto& [owner, listen] : listeners)
            listen();
    }
    // The owner's listener (an empty one: none), called on the writer's
    // thread after each change, without blocking and without changing the
    // board. Once a call to take one away returns, no call to it is under
    // way: its owner may go.
    void setListener(const void* owner, std::function<void()> listen) {
        const std::lock_guard calling(hearing);
        std::erase_if(listeners, [owner](const auto& slot) { return slot.first == owner; });
        if (listen)
            listeners.emplace_back(owner, std::move(listen));
    }

private:
    mutable std::mutex mutex;
    PlayerState current;
    // Held while the listeners are called, so that one taken away is not
    // called after.
    std::mutex hearing;
    std::vector<std::pair<const void*, std::function<void()>>> listeners;
};

// Assigns and says whether the value changed, for PlayerStateBoard::update.
template <typename T> bool changeTo(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

#pragma once

// What the player is doing, published as one snapshot that the overlay, the
// buttons, the position slider, the title and the desktop's media controls
// read; none of them guesses from what it last drew or sent. Each field has
// one writer: the mode and the sound by the intake of commands, the
// position and the end by the screen's thread, the rest by the decoding
// loop. Every change gives the state a new generation.

#include "PlayerCommands.h"

#include <cstdint>
#include <functional>
#include <mutex>
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
    double speed = 1.0;
    int32_t volumePercent = 100;
    bool muted = false;
    // Until when (steady clock, milliseconds) the picture says the volume.
    int64_t soundNoticeUntil = 0;
    // Summary fills its tree before its first picture.
    bool summaryFilling = false;
    // Start times of the summary's segments handed on, in the video.
    std::vector<double> segments;
    uint64_t generation = 0;

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
        std::function<void()> hear;
        {
            const std::lock_guard lock(mutex);
            if (!change(current))
                return;
            ++current.generation;
            hear = listener;
        }
        if (hear)
            hear();
        const std::lock_guard calling(hearing);
        for (const auto& other : others)
            other.listen();
    }
    // Called on the writer's thread after each change; it must not block.
    void setListener(std::function<void()> listen) {
        const std::lock_guard lock(mutex);
        listener = std::move(listen);
    }
    // Further listeners, heard after that one, each as it: on the writer's
    // thread, without blocking, and without changing the board. The number
    // returned takes it away again; once removeListener returns, no call to
    // it is under way.
    int addListener(std::function<void()> listen) {
        const std::lock_guard calling(hearing);
        others.push_back({++lastListener, std::move(listen)});
        return lastListener;
    }
    void removeListener(int id) {
        const std::lock_guard calling(hearing);
        std::erase_if(others, [id](const Listener& other) { return other.id == id; });
    }

private:
    struct Listener {
        int id;
        std::function<void()> listen;
    };

    mutable std::mutex mutex;
    PlayerState current;
    std::function<void()> listener;
    // Held while the further listeners are called, so that one taken away
    // is not called after.
    std::mutex hearing;
    std::vector<Listener> others;
    int lastListener = 0;
};

// Assigns and says whether the value changed, for PlayerStateBoard::update.
template <typename T> bool changeTo(T& field, const T& value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

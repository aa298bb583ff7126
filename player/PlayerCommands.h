#pragma once

// Everything that acts on the player is a command: the window's buttons,
// keys and sliders, a click on the summary map, the desktop's media
// controls, a test. Commands are queued in the order given and taken by the
// decoding loop; none is a widget's state for a worker to poll.

#include <cstdint>
#include <mutex>
#include <variant>
#include <vector>

// Which way the video plays; Pause holds the one playing.
enum class PlayerMode : uint8_t { Play, Summary, Pause };

namespace command {
// To this time in the video.
struct SeekTo {
    double seconds = 0.0;
};
// Play or Summary (from the picture on screen), or Pause.
struct ChooseMode {
    PlayerMode mode = PlayerMode::Play;
};
// Pause, or play on in the mode paused.
struct TogglePause {};
// In a pause: pictures on (positive) or back (negative).
struct StepPictures {
    int count = 0;
};
// In Summary: kept segments on (positive) or back (negative).
struct SkipSegments {
    int count = 0;
};
// A summary is being saved (its encoder needs the buffer's room) or is no longer.
struct Saving {
    bool on = false;
};
// The sound from this stream of the file on, from the picture on screen.
struct ChooseAudioTrack {
    int stream = -1;
};
} // namespace command

using PlayerCommand = std::variant<command::SeekTo, command::ChooseMode, command::TogglePause,
                                   command::StepPictures, command::SkipSegments, command::Saving,
                                   command::ChooseAudioTrack>;

// What a command does to the mode playing and the pause, as the state
// shows them and as the decoding loop takes them; true when it changed them.
inline bool takeMode(const PlayerCommand& given, PlayerMode& mode, bool& paused) {
    const PlayerMode modeBefore = mode;
    const bool pausedBefore = paused;
    if (const auto* chosen = std::get_if<command::ChooseMode>(&given)) {
        if (chosen->mode == PlayerMode::Pause) {
            paused = true;
        } else {
            mode = chosen->mode;
            paused = false;
        }
    } else if (std::holds_alternative<command::TogglePause>(given)) {
        paused = !paused;
    }
    return mode != modeBefore || paused != pausedBefore;
}

class CommandQueue {
public:
    void push(PlayerCommand given) {
        const std::lock_guard lock(mutex);
        waiting.push_back(given);
    }
    // Every command given since the last call, oldest first.
    std::vector<PlayerCommand> takeAll() {
        std::vector<PlayerCommand> taken;
        const std::lock_guard lock(mutex);
        taken.swap(waiting);
        return taken;
    }

private:
    std::mutex mutex;
    std::vector<PlayerCommand> waiting;
};

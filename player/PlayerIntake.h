#pragma once

// The decoding loop's intake of commands: what they ask for since the last
// pass, gathered into the mode wanted (Pause when paused), the last seek,
// the steps and skips, whether a save is under way and the sound's track. Used by the
// decoding thread.

#include "PlayerCommands.h"

#include <optional>

class PlayerIntake {
public:
    struct Wanted {
        PlayerMode mode = PlayerMode::Play;
        std::optional<double> seek;
        int steps = 0;
        int skips = 0;
        bool saving = false;
        // The audio stream chosen last, if one was.
        std::optional<int> audioStream;
    };

    // Starts from the mode the state shows.
    void reset(PlayerMode mode, bool paused);
    Wanted take(CommandQueue& commands);

private:
    void apply(const PlayerCommand& given, Wanted& wanted);

    PlayerMode mode = PlayerMode::Play;
    bool paused = false;
    bool saving = false;
};

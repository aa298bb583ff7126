#include "PlayerIntake.h"

#include <type_traits>

void PlayerIntake::reset(PlayerMode shown, bool isPaused) {
    mode = shown == PlayerMode::Pause ? PlayerMode::Play : shown;
    paused = isPaused || shown == PlayerMode::Pause;
}

PlayerIntake::Wanted PlayerIntake::take(CommandQueue& commands) {
    Wanted wanted;
    for (const PlayerCommand& given : commands.takeAll())
        apply(given, wanted);
    wanted.mode = paused ? PlayerMode::Pause : mode;
    wanted.saving = saving;
    return wanted;
}

void PlayerIntake::apply(const PlayerCommand& given, Wanted& wanted) {
    takeMode(given, mode, paused);
    std::visit(
        [&](const auto& c) {
            using C = std::decay_t<decltype(c)>;
            if constexpr (std::is_same_v<C, command::SeekTo>) {
                wanted.seek = c.seconds;
            } else if constexpr (std::is_same_v<C, command::StepPictures>) {
                wanted.steps += c.count;
            } else if constexpr (std::is_same_v<C, command::SkipSegments>) {
                wanted.skips += c.count;
            } else if constexpr (std::is_same_v<C, command::Saving>) {
                saving = c.on;
            } else if constexpr (std::is_same_v<C, command::ChooseAudioTrack>) {
                wanted.audioStream = c.stream;
            }
        },
        given);
}

#pragma once

// What the user chose for the player, as one snapshot that the GUI thread
// publishes and the decoding thread takes whole: the summary's settings and
// the two options of the player itself. Each publication has a new
// generation; a weight or target change also has a new ranking generation,
// which calls for a new summary from where the video plays.

#include "SummarySettings.h"
#include "Worker.h"

#include <cstdint>
#include <mutex>

struct PlayerSettings {
    SummarySettings summary;
    bool automaticControl = false;
    bool avoidEmptyBuffer = false;
    // How fast the video plays (0.5 to 2); the sound keeps its pitch.
    double speed = 1.0;
    uint64_t generation = 0;
    uint64_t rankingGeneration = 0;
};

class SettingsBoard {
public:
    // The limits and options, which apply from the next fragment on.
    void publish(const PlayerSettings& settings) { publish(settings, false); }
    // A new target or weights: the summary starts again.
    void publishRanking(const PlayerSettings& settings) { publish(settings, true); }

    PlayerSettings snapshot() const {
        const std::lock_guard lock(mutex);
        return current;
    }

    // A thread that waits on its own wakeup for new settings is told of
    // each publication through it (one such thread; null for none). Whoever
    // set it takes it away before the wakeup goes.
    void setWatcher(Wakeup* wakeup) {
        const std::lock_guard lock(mutex);
        watcher = wakeup;
    }
    void dropWatcher(const Wakeup* wakeup) {
        const std::lock_guard lock(mutex);
        if (watcher == wakeup)
            watcher = nullptr;
    }

private:
    void publish(const PlayerSettings& settings, bool ranking) {
        const std::lock_guard lock(mutex);
        const PlayerSettings before = current;
        current = settings;
        current.generation = before.generation + 1;
        current.rankingGeneration = before.rankingGeneration + (ranking ? 1 : 0);
        // Under the lock, so that the watcher cannot go meanwhile.
        if (watcher != nullptr)
            watcher->notify();
    }

    mutable std::mutex mutex;
    PlayerSettings current;
    Wakeup* watcher = nullptr;
};

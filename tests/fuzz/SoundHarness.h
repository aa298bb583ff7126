#pragma once

// What the player's sound and the summary writer do with a file's sound, run
// on bytes: open its first audio stream, convert it to one of the outputs
// they ask for, take spans in order, jump back, take more.

#include <cstddef>
#include <cstdint>

struct SoundRun {
    bool opened = false;
    int spans = 0;       // spans taken whole
    int64_t samples = 0; // per channel, over all spans
};

SoundRun runSoundHarness(const uint8_t* data, size_t size);

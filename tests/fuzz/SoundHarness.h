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

// The analysis of a file's sound and the store's reader of what it found, on
// bytes: after a first byte kStoredSound the rest is a stored blob of sound
// units, after kSoundContents its contents (compressed afresh, so that they
// reach the reader past zstd's checksum); else the bytes are a file whose
// sound is analysed, from its start and again from a second on. (No
// container a file of sound starts with either byte.)
constexpr uint8_t kStoredSound = 0xf0;
constexpr uint8_t kSoundContents = 0xf1;

struct SoundAnalysisRun {
    bool opened = false;
    int64_t units = 0;       // analysed from the file
    int64_t storedUnits = -1; // read from the blob; -1 when it was refused
};

SoundAnalysisRun runSoundAnalysisHarness(const uint8_t* data, size_t size);

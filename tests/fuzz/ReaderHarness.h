#pragma once

// What the player does with a file, run on bytes held in memory: probe, read
// fragments to the end, seek to the middle, read a few more, and summarise
// them. Shared by the fuzzer and by the regression test that replays the
// inputs the fuzzer once broke on.

#include <cstddef>
#include <cstdint>

struct ReaderRun {
    bool opened = false;
    int width = 0;
    int height = 0;
    int fragments = 0;     // before the seek
    int frames = 0;        // in those fragments
    int afterSeek = 0;     // fragments read after the seek
    bool tooLarge = false; // skipped: pictures beyond the harness's bound
};

// Bounded work per input: at most this many fragments before the seek and
// this many after it.
inline constexpr int kHarnessFragments = 8;
inline constexpr int kHarnessFragmentsAfterSeek = 3;
// Larger pictures are opened and probed but not decoded (memory per input).
inline constexpr int64_t kHarnessMaxPixels = 1024 * 1024;

ReaderRun runReaderHarness(const uint8_t* data, size_t size);

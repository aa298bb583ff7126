#pragma once

// What the player does with a file, run on bytes: probe, read fragments into
// a small summary, seek to the middle, read a few more. Shared by the fuzzer
// and by the test that replays the inputs the fuzzer once broke on.

#include <cstddef>
#include <cstdint>

struct ReaderRun {
    bool opened = false;
    int fragments = 0; // before the seek
    int frames = 0;    // in those fragments
    int afterSeek = 0; // fragments read after the seek
};

ReaderRun runReaderHarness(const uint8_t* data, size_t size);

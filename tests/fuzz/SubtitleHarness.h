#pragma once

// What the player's subtitles and tessaro-summarize --subtitles do with a
// subtitle file beside a video, run on bytes: the first byte chooses how the
// rest is read (kSubtitleSrt, kSubtitleAss, kSubtitleVtt, by its value modulo
// 3), the rest is the file; every line is read, sorted, and made plain text.

#include <cstddef>
#include <cstdint>

constexpr uint8_t kSubtitleSrt = 0;
constexpr uint8_t kSubtitleAss = 1;
constexpr uint8_t kSubtitleVtt = 2;

struct SubtitleRun {
    bool opened = false;
    int lines = 0;
    size_t textBytes = 0; // of the lines' plain text, all together
};

SubtitleRun runSubtitleHarness(const uint8_t* data, size_t size);

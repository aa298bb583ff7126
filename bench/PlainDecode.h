#pragma once

#include <functional>

// The reference for the decode benches: FFmpeg's own demux + decode loop over
// the first video stream, with the reader's decoder threading and no copies.

struct DecodeRun {
    bool ok = false;
    long pictures = 0;
    long fragments = 0;
    double seconds = 0.0;

    double rate() const { return seconds > 0 ? pictures / seconds : 0.0; }
};

DecodeRun plainFfmpegDecode(const char* path);

struct Comparison {
    DecodeRun ours;
    DecodeRun ffmpeg;
};

// Runs `ours` and `reference` alternately, `rounds` times, and keeps the
// median run of each: on a shared machine a burst of other work, or a quiet
// moment, must not decide the ratio. A failed run ends it and is returned.
Comparison alternateRuns(const std::function<DecodeRun()>& ours,
                         const std::function<DecodeRun()>& reference, int rounds = 5);

// Decodes the whole file with `ours` and with the plain loop, alternately,
// `rounds` times, and keeps the median pass of each: on a shared machine a
// burst of other work, or a quiet moment, must not decide the ratio.
Comparison compareWithFfmpeg(const std::function<DecodeRun()>& ours, const char* path,
                             int rounds = 5);

// The body of a comparing sub-command: `tessaro-bench COMMAND FILE` decodes
// FILE with `ours` and with the plain loop, then `print` writes the figures.
int benchAgainstFfmpeg(int argc, char** argv, DecodeRun (*ours)(const char* path),
                       void (*print)(const Comparison& result));

// "NAME: N pictures, R pictures/s"
void printDecodeRun(const char* name, const DecodeRun& run);

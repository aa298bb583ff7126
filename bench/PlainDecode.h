#pragma once

// The reference for the decode benches: FFmpeg's own demux + decode loop over
// the first video stream, with the reader's decoder threading and no copies.

struct DecodeRun {
    bool ok = false;
    long pictures = 0;
    double seconds = 0.0;
};

DecodeRun plainFfmpegDecode(const char* path);

// "NAME: N pictures, R pictures/s"
void printDecodeRun(const char* name, const DecodeRun& run);

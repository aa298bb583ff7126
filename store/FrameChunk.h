#pragma once

// The frames of one stretch of an analysis as bytes, and back. Each frame is
// a row of whole numbers (its number, time, key-frame and slate marks and the
// descriptors' own), each taken as its difference from the frame before,
// zigzagged. The chunk holds them column by column and byte by byte (the
// low bytes of a column's differences, then the next bytes, as many as its
// largest needs), so that zstd finds the runs of small differences, and is
// compressed with zstd's checksum, so that damage is found when it is read
// back. A chunk stands alone: its first frame is taken against nothing.

#include "Frame.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ZSTD_DCtx_s;
typedef struct ZSTD_DCtx_s ZSTD_DCtx;

class FrameChunkWriter {
public:
    // False when the frame cannot be kept exactly (a frame number that is
    // not a whole 32-bit one); the chunk is then unchanged.
    bool add(const Frame& frame);
    int frames() const { return count; }
    // The compressed chunk; the writer starts a new one.
    std::string finish();

private:
    std::vector<uint64_t> differences; // row by row
    std::vector<int64_t> previous;     // the last frame's numbers
    int count = 0;
};

class FrameChunkReader {
public:
    // Decompresses and checks a chunk: false when it is damaged, of another
    // format, or does not hold `frames` whole frames.
    bool open(const std::string& compressed, int frames);
    // The next frame; false after the last.
    bool next(Frame* frame);

private:
    // The next frame's numbers into *frame; with `derived`, what follows
    // from them too.
    bool nextNumbers(Frame* frame, bool derived);

    struct ContextFree {
        void operator()(ZSTD_DCtx* context) const;
    };
    std::unique_ptr<ZSTD_DCtx, ContextFree> context;
    std::string raw;
    int frames = 0;
    int nextFrame = 0;
    // Where each column's byte planes start in raw, and how many it has.
    std::vector<size_t> columnStart;
    std::vector<int> columnWidth;
    std::vector<int64_t> previous;
};

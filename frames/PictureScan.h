#pragma once

// The pass over a picture that its descriptors come from: every third pixel
// of every third row within each block of an 8 x 8 grid, its Y, U and V
// summed per block and counted into 16 bins per channel. Two ways, giving
// the same whole numbers: one sample at a time, and 32 columns at a time
// with the processor's vector instructions where it has them.

#include <cstdint>

struct AVFrame;

namespace picturescan {

constexpr int kGrid = 8;
constexpr int kBins = 16;
constexpr int kSampleStep = 3;

// Block b of the 8 x 8 grid spans [start[b], end[b]) along a side of the
// given size; the end is derived from the start, not from (b + 1) * d.
void blockBounds(int size, int start[kGrid], int end[kGrid]);

// Samples taken from start, start + 3, ... below end.
inline int sampleCount(int start, int end) {
    return end > start ? (end - start + kSampleStep - 1) / kSampleStep : 0;
}

} // namespace picturescan

// What the pass found. Blocks without a sample (in a picture narrower or
// lower than the grid) have a sum of 0 and add nothing to the bins.
struct PictureScan {
    uint32_t bins[3][picturescan::kBins];
    uint32_t sums[3][picturescan::kGrid][picturescan::kGrid]; // [channel][row][column]
};

// The pass over a planar YUV 4:2:0 picture of the given size (at least 1 x 1)
// whose chroma rows are addressed with half the luma line size: by vectors
// where the processor and the picture's width allow, else one by one.
void scanPicture(const AVFrame* picture, int width, int height, PictureScan* out);
// One sample at a time: the way that needs nothing of the processor, and
// the reference the vector pass is checked against.
void scanPictureOneByOne(const AVFrame* picture, int width, int height, PictureScan* out);

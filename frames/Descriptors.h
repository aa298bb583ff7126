#pragma once

// What the summary engine knows of one picture: its colour histograms, the
// means of its colours over an 8 x 8 grid of blocks, and what follows from
// those (the quantised block DCT, the chroma activity). A plain value: no
// picture, no links. It has a byte encoding of its own, versioned, so that
// descriptors can be kept and read back exactly.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFrame;

struct Descriptors {
    // The first byte of every encoding; a reader refuses any other.
    static constexpr uint8_t ENCODING_VERSION = 1;

    // The picture's size, which fixes how many samples each block took.
    int32_t width = 0;
    int32_t height = 0;
    // Samples per bin of Y, U and V (whole numbers).
    double histogram[3][16] = {};
    // Mean of each channel over each block, index 8 * column + row.
    double blockMeans[3][64] = {};
    // Derived from blockMeans by derive().
    double colorLayout[3][64] = {};
    double activity = 0.0;

    // The descriptors of a planar YUV 4:2:0 picture of the given size. Its
    // chroma rows are addressed with half the luma line size.
    static Descriptors of(const AVFrame* picture, int width, int height);
    // The same, from the pass that takes one sample at a time (see
    // PictureScan.h): what `of` is checked against.
    static Descriptors ofOneByOne(const AVFrame* picture, int width, int height);

    // Works out colorLayout and activity from blockMeans.
    void derive();
    // Busy bins per channel, averaged over the three channels.
    double colorCount() const;

    // Appends the encoding to out: whole numbers only, so that decoding
    // gives back every value to the bit.
    void encode(std::string& out) const;
    // Reads one encoding from [*data, end) and moves *data past it. False,
    // with *data unchanged, when the bytes are not a whole encoding of this
    // version.
    static bool decode(const uint8_t** data, const uint8_t* end, Descriptors* out);

    // The whole numbers an encoding holds after its version byte: the width,
    // the height, 48 histogram bins and 192 block sums.
    static constexpr size_t NUMBERS = 2 + 48 + 192;
    // The descriptors those numbers stand for; false when one is out of its
    // range. Without `derived`, colorLayout and activity are left at zero
    // (enough to check the numbers).
    static bool fromNumbers(const uint64_t* numbers, Descriptors* out, bool derived = true);
};

// What frameDifference reads of a picture, side by side in a third of the
// room: comparing many pictures with many (two fragments' worth at a time)
// then stays within the processor's nearest cache.
struct DifferencePoint {
    double histogram[3][16];
    double samplesY, samplesU; // the Y and U histograms' totals
    double corner[3][36];      // the colour layout's 6 x 6 low-frequency corner
};
DifferencePoint differencePoint(const Descriptors& d);

double colorLayoutDistance(const Descriptors& a, const Descriptors& b);
double histogramSimilarity(const Descriptors& a, const Descriptors& b);
double frameDifference(const Descriptors& a, const Descriptors& b);
// The same to the bit, from the pictures' points.
double frameDifference(const DifferencePoint& a, const DifferencePoint& b);

// A row of pictures' points, to find one picture's differences to each of
// them: the same to the bit as frameDifference, four at a time where the
// processor can.
class DifferenceRow {
public:
    explicit DifferenceRow(const std::vector<DifferencePoint>& row);
    ~DifferenceRow();
    DifferenceRow(const DifferenceRow&) = delete;
    DifferenceRow& operator=(const DifferenceRow&) = delete;

    size_t size() const { return count; }
    // out[p * size() + q] = frameDifference(from's point p, this row's
    // point q), for every p of from and q of this row.
    void differences(const DifferenceRow& from, double* out) const;

private:
    struct Packs;
    size_t count;
    std::vector<DifferencePoint> points; // when not in packs
    std::unique_ptr<Packs> packed;
};

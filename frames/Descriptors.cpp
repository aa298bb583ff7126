#include "Descriptors.h"

#include "PictureScan.h"
#include "Varint.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int Y = 0;
constexpr int U = 1;
constexpr int V = 2;
constexpr int kGrid = picturescan::kGrid;
constexpr int kBins = picturescan::kBins;
using picturescan::blockBounds;
using picturescan::sampleCount;

// 8-point DCT-II basis, T[u][k] = c(u) cos((2k+1) u pi / 16), to seven
// significant digits; the quantised DC terms depend on these exact digits.
constexpr double kDct[8][8] = {
    {0.3535534, 0.3535534, 0.3535534, 0.3535534, 0.3535534, 0.3535534, 0.3535534, 0.3535534},
    {0.4903926, 0.4157348, 0.2777851, 0.09754516, -0.09754516, -0.2777851, -0.4157348, -0.4903926},
    {0.4619398, 0.1913417, -0.1913417, -0.4619398, -0.4619398, -0.1913417, 0.1913417, 0.4619398},
    {0.4157348, -0.09754516, -0.4903926, -0.2777851, 0.2777851, 0.4903926, 0.09754516, -0.4157348},
    {0.3535534, -0.3535534, -0.3535534, 0.3535534, 0.3535534, -0.3535534, -0.3535534, 0.3535534},
    {0.2777851, -0.4903926, 0.09754516, 0.4157348, -0.4157348, -0.09754516, 0.4903926, -0.2777851},
    {0.1913417, -0.4619398, 0.4619398, -0.1913417, -0.1913417, 0.4619398, -0.4619398, 0.1913417},
    {0.09754516, -0.2777851, 0.4157348, -0.4903926, 0.4903926, -0.4157348, 0.2777851, -0.09754516},
};

int quantiseLumaDc(int t) {
    const int i = t / 8;
    int j;
    if (i > 192)
        j = 112 + (i - 192) / 4;
    else if (i > 160)
        j = 96 + (i - 160) / 2;
    else if (i > 96)
        j = i - 64;
    else if (i > 64)
        j = 16 + (i - 64) / 2;
    else
        j = i / 4;
    return j >> 1;
}

int quantiseChromaDc(int t) {
    const int i = t / 8;
    if (i > 191)
        return 63;
    if (i > 160)
        return 56 + (i - 160) / 4;
    if (i > 144)
        return 48 + (i - 144) / 2;
    if (i > 112)
        return i - 96;
    if (i > 96)
        return 8 + (i - 96) / 2;
    if (i > 64)
        return (i - 64) / 4;
    return 0;
}

int quantiseAc(int a) {
    a = std::clamp(a, -256, 255);
    int m = std::abs(a);
    if (m > 127)
        m = m / 4 + 64;
    else if (m > 63)
        m = m / 2 + 32;
    return static_cast<int>(std::floor(m * 0.125 + 0.5));
}

void quantise(int channel, double coefficients[64]) {
    const int dc = static_cast<int>(coefficients[0]);
    coefficients[0] = channel == Y ? quantiseLumaDc(dc) : quantiseChromaDc(dc);
    for (int k = 1; k < 64; ++k) {
        const int t = static_cast<int>(coefficients[k]);
        coefficients[k] = quantiseAc(channel == Y ? t / 2 : t);
    }
}

// Separable 2-D DCT-II of an 8 x 8 grid: rows first, then columns.
void transform(const double means[64], double coefficients[64]) {
    double rows[8][8];
    for (int i = 0; i < 8; ++i)
        for (int u = 0; u < 8; ++u) {
            double sum = 0.0;
            for (int k = 0; k < 8; ++k)
                sum += kDct[u][k] * means[8 * i + k];
            rows[i][u] = sum;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double sum = 0.0;
            for (int k = 0; k < 8; ++k)
                sum += kDct[v][k] * rows[k][u];
            coefficients[8 * v + u] = sum;
        }
}

int busyBins(const double h[kBins]) {
    double peak = 0.0;
    for (int k = 0; k < kBins; ++k)
        peak = std::max(peak, h[k]);
    int busy = 0;
    for (int k = 0; k < kBins; ++k)
        if (h[k] > 0.25 * peak)
            ++busy;
    return busy;
}

// Samples each block of a picture of this size takes: the grid's rows and
// columns of every third pixel, or the one pixel at its corner when the
// picture is too small for the block to hold a sample.
struct BlockSamples {
    uint32_t n[kGrid][kGrid]; // [column][row]

    BlockSamples(int width, int height) {
        int x0[kGrid], x1[kGrid], y0[kGrid], y1[kGrid];
        blockBounds(width, x0, x1);
        blockBounds(height, y0, y1);
        for (int bx = 0; bx < kGrid; ++bx)
            for (int by = 0; by < kGrid; ++by) {
                const uint32_t count = sampleCount(y0[by], y1[by]) * sampleCount(x0[bx], x1[bx]);
                n[bx][by] = count > 0 ? count : 1;
            }
    }
};

// A picture of at most 8K UHD has fewer samples than this in a block, and a
// 32-bit count in a bin.
constexpr uint64_t kLargestSide = 65536;

// The descriptors from the pass over the picture.
Descriptors describe(const AVFrame* picture, int width, int height,
                     void (*scan)(const AVFrame*, int, int, PictureScan*)) {
    Descriptors d;
    d.width = width;
    d.height = height;
    if (picture == nullptr || width <= 0 || height <= 0)
        return d;
    PictureScan found;
    scan(picture, width, height, &found);

    int x0[kGrid], x1[kGrid], y0[kGrid], y1[kGrid];
    blockBounds(width, x0, x1);
    blockBounds(height, y0, y1);
    const ptrdiff_t stride = picture->linesize[0];
    for (int by = 0; by < kGrid; ++by)
        for (int bx = 0; bx < kGrid; ++bx) {
            uint32_t n = sampleCount(y0[by], y1[by]) * sampleCount(x0[bx], x1[bx]);
            uint32_t sums[3] = {found.sums[Y][by][bx], found.sums[U][by][bx],
                                found.sums[V][by][bx]};
            if (n == 0) {
                // A picture narrower or lower than the grid leaves blocks
                // without a sample; the pixel nearest the block's corner
                // stands in for the block so no mean is 0/0.
                const int x = std::max(0, std::min(x0[bx], width - 1));
                const int y = std::max(0, std::min(y0[by], height - 1));
                const ptrdiff_t chroma = ((y >> 1) * stride) / 2 + (x >> 1);
                const uint32_t values[3] = {picture->data[0][y * stride + x],
                                            picture->data[1][chroma], picture->data[2][chroma]};
                for (int c = 0; c < 3; ++c) {
                    sums[c] = values[c];
                    ++found.bins[c][values[c] >> 4];
                }
                n = 1;
            }
            for (int c = 0; c < 3; ++c)
                d.blockMeans[c][kGrid * bx + by] = static_cast<double>(sums[c]) / n;
        }

    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < kBins; ++k)
            d.histogram[c][k] = found.bins[c][k];
    d.derive();
    return d;
}

} // namespace

Descriptors Descriptors::of(const AVFrame* picture, int width, int height) {
    return describe(picture, width, height, &scanPicture);
}

Descriptors Descriptors::ofOneByOne(const AVFrame* picture, int width, int height) {
    return describe(picture, width, height, &scanPictureOneByOne);
}

void Descriptors::derive() {
    for (int c = 0; c < 3; ++c) {
        transform(blockMeans[c], colorLayout[c]);
        quantise(c, colorLayout[c]);
    }
    double sum = 0.0;
    for (int c : {U, V}) {
        const double* m = blockMeans[c];
        for (int i = 0; i < kGrid - 1; ++i)
            for (int j = 0; j < kGrid - 1; ++j) {
                const double here = m[8 * i + j];
                const double down = here - m[8 * (i + 1) + j];
                const double right = here - m[8 * i + j + 1];
                const double diagonal = here - m[8 * (i + 1) + j + 1];
                sum += down * down + right * right + diagonal * diagonal;
            }
    }
    activity = 0.01 * sum;
}

double Descriptors::colorCount() const {
    return (busyBins(histogram[Y]) + busyBins(histogram[U]) + busyBins(histogram[V])) * (1.0 / 3);
}

void Descriptors::encode(std::string& out) const {
    out.push_back(static_cast<char>(ENCODING_VERSION));
    putVarint(out, static_cast<uint64_t>(std::max(0, width)));
    putVarint(out, static_cast<uint64_t>(std::max(0, height)));
    for (const auto& channel : histogram)
        for (double bin : channel)
            putVarint(out, static_cast<uint64_t>(bin));
    // A mean is a whole sum over a known number of samples: the sum goes.
    const BlockSamples samples(width, height);
    for (const auto& channel : blockMeans)
        for (int i = 0; i < 64; ++i)
            putVarint(out,
                      static_cast<uint64_t>(std::llround(channel[i] * samples.n[i / 8][i % 8])));
}

bool Descriptors::fromNumbers(const uint64_t* numbers, Descriptors* out, bool derived) {
    const uint64_t width = numbers[0];
    const uint64_t height = numbers[1];
    if (width > kLargestSide || height > kLargestSide)
        return false;
    Descriptors d;
    d.width = static_cast<int32_t>(width);
    d.height = static_cast<int32_t>(height);
    const uint64_t* at = numbers + 2;
    for (auto& channel : d.histogram)
        for (double& bin : channel) {
            const uint64_t value = *at++;
            if (value > UINT32_MAX)
                return false;
            bin = static_cast<double>(value);
        }
    const BlockSamples samples(d.width, d.height);
    for (auto& channel : d.blockMeans)
        for (int i = 0; i < 64; ++i) {
            const uint64_t sum = *at++;
            const uint32_t n = samples.n[i / 8][i % 8];
            if (sum > uint64_t{255} * n)
                return false;
            channel[i] = static_cast<double>(static_cast<uint32_t>(sum)) / n;
        }
    if (derived)
        d.derive();
    *out = d;
    return true;
}

bool Descriptors::decode(const uint8_t** data, const uint8_t* end, Descriptors* out) {
    const uint8_t* at = *data;
    if (at >= end || *at++ != ENCODING_VERSION)
        return false;
    uint64_t numbers[NUMBERS];
    for (uint64_t& number : numbers)
        if (!getVarint(&at, end, &number))
            return false;
    if (!fromNumbers(numbers, out))
        return false;
    *data = at;
    return true;
}

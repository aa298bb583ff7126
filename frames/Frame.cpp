#include "Frame.h"

#include "Messages.h"
#include "Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr const char* kSetAVFrameModeError = "\nFrame::setAVFrame ERROR: operates in AVFRAME mode";
constexpr const char* kGetAVFrameModeError = "\nFrame::getAVFrame ERROR: operates in AVFRAME mode";
constexpr const char* kGetAVFrameNullWarning = "\nFrame::getAVFrame WARNING: avFrame==NULL!";
constexpr const char* kHistogramModeWarning =
    "\nFrame::switchToHistogramMode: WARNING: HISTOGRAM_MODE already set";

constexpr int Y = 0;
constexpr int U = 1;
constexpr int V = 2;
constexpr int kGrid = 8;
constexpr int kBins = 16;
constexpr int kSampleStep = 3;

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

// Weights of the 6 x 6 low-frequency corner compared by colorLayoutDistance.
constexpr int kCompared = 6;
constexpr double kWeight[kCompared][kCompared] = {
    {0.4, 0.3333, 0.2500, 0.2000, 0.1667, 0.1429},
    {0.3333, 0.2500, 0.2000, 0.1667, 0.1429, 0.1250},
    {0.2500, 0.2000, 0.1667, 0.1429, 0.1250, 0.1111},
    {0.2000, 0.1667, 0.1429, 0.1250, 0.1111, 0.1000},
    {0.1667, 0.1429, 0.1250, 0.1111, 0.1000, 0.0909},
    {0.1429, 0.1250, 0.1111, 0.1000, 0.0909, 0.0833},
};

// Block b of the 8 x 8 grid spans [start[b], end[b]) along a side of the
// given size; the end is derived from the start, not from (b + 1) * d.
void blockBounds(int size, int start[kGrid], int end[kGrid]) {
    const double d = size * 0.125;
    for (int b = 0; b < kGrid; ++b) {
        start[b] = static_cast<int>(std::floor(b * d));
        end[b] = static_cast<int>(std::floor(start[b] + d));
    }
}

// Samples taken from start, start + 3, ... below end.
int sampleCount(int start, int end) {
    return end > start ? (end - start + kSampleStep - 1) / kSampleStep : 0;
}

[[noreturn]] void failMode(const char* message) {
    engineMessage(MessageStream::Output, "%s", message);
    std::exit(-1);
}

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

double weightedSquares(const double a[64], const double b[64]) {
    double sum = 0.0;
    for (int r = 0; r < kCompared; ++r)
        for (int s = 0; s < kCompared; ++s) {
            const double d = b[8 * r + s] - a[8 * r + s];
            sum += kWeight[r][s] * d * d;
        }
    return sum;
}

double intersection(const double a[kBins], const double b[kBins]) {
    double sum = 0.0;
    for (int k = 0; k < kBins; ++k)
        sum += std::min(a[k], b[k]);
    return sum;
}

double total(const double h[kBins]) {
    double sum = 0.0;
    for (int k = 0; k < kBins; ++k)
        sum += h[k];
    return sum;
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

} // namespace

Frame::Frame() = default;

Frame::~Frame() {
    if (mode == AVFRAME)
        free_picture(avFrame);
}

void Frame::setAVFrame(AVFrame* picture) {
    if (mode != AVFRAME)
        failMode(kSetAVFrameModeError);
    avFrame = picture;
}

AVFrame* Frame::getAVFrame() {
    if (mode != AVFRAME)
        failMode(kGetAVFrameModeError);
    if (avFrame == nullptr)
        engineMessage(MessageStream::Output, "%s", kGetAVFrameNullWarning);
    return avFrame;
}

void Frame::switchToHistogramMode() {
    if (mode == HISTOGRAM_MODE) {
        engineMessage(MessageStream::Output, "%s", kHistogramModeWarning);
        return;
    }
    if (!histogramComputed)
        computeHistogram();
    free_picture(avFrame);
    avFrame = nullptr;
    mode = HISTOGRAM_MODE;
}

bool Frame::computeHistogram() {
    if (histogramComputed)
        return true;
    // Without pixels there is nothing to sample; the flag stays clear.
    if (avFrame == nullptr)
        return false;

    int x0[kGrid], x1[kGrid], y0[kGrid], y1[kGrid];
    blockBounds(width, x0, x1);
    blockBounds(height, y0, y1);

    const ptrdiff_t stride = avFrame->linesize[0];
    const uint8_t* const yPlane = avFrame->data[0];
    const uint8_t* const uPlane = avFrame->data[1];
    const uint8_t* const vPlane = avFrame->data[2];
    // Two sets of counters, for alternate samples, so that runs of equal
    // values do not wait on one counter.
    uint32_t bins[2][3][kBins] = {};

    // Sampled rows outermost, so each is read once from left to right; the
    // sums are integers, so the order does not change them.
    for (int by = 0; by < kGrid; ++by) {
        uint32_t sums[3][kGrid] = {};
        for (int y = y0[by]; y < y1[by]; y += kSampleStep) {
            const uint8_t* const yRow = yPlane + y * stride;
            // The chroma row is addressed with half the luma stride.
            const ptrdiff_t chromaRow = ((y >> 1) * stride) / 2;
            const uint8_t* const uRow = uPlane + chromaRow;
            const uint8_t* const vRow = vPlane + chromaRow;
            for (int bx = 0; bx < kGrid; ++bx) {
                uint32_t sumY = 0, sumU = 0, sumV = 0;
                int x = x0[bx];
                for (; x + kSampleStep < x1[bx]; x += 2 * kSampleStep) {
                    const uint32_t ya = yRow[x], ua = uRow[x >> 1], va = vRow[x >> 1];
                    const int xb = x + kSampleStep;
                    const uint32_t yb = yRow[xb], ub = uRow[xb >> 1], vb = vRow[xb >> 1];
                    ++bins[0][Y][ya >> 4];
                    ++bins[0][U][ua >> 4];
                    ++bins[0][V][va >> 4];
                    ++bins[1][Y][yb >> 4];
                    ++bins[1][U][ub >> 4];
                    ++bins[1][V][vb >> 4];
                    sumY += ya + yb;
                    sumU += ua + ub;
                    sumV += va + vb;
                }
                if (x < x1[bx]) {
                    const uint32_t ya = yRow[x], ua = uRow[x >> 1], va = vRow[x >> 1];
                    ++bins[0][Y][ya >> 4];
                    ++bins[0][U][ua >> 4];
                    ++bins[0][V][va >> 4];
                    sumY += ya;
                    sumU += ua;
                    sumV += va;
                }
                sums[Y][bx] += sumY;
                sums[U][bx] += sumU;
                sums[V][bx] += sumV;
            }
        }

        const int rows = sampleCount(y0[by], y1[by]);
        for (int bx = 0; bx < kGrid; ++bx) {
            uint32_t n = rows * sampleCount(x0[bx], x1[bx]);
            if (n == 0) {
                // A picture narrower or lower than the grid leaves blocks
                // without a sample; the pixel nearest the block's corner
                // stands in for the block so no mean is 0/0.
                const int x = std::max(0, std::min(x0[bx], width - 1));
                const int y = std::max(0, std::min(y0[by], height - 1));
                const ptrdiff_t chroma = ((y >> 1) * stride) / 2 + (x >> 1);
                const uint32_t values[3] = {yPlane[y * stride + x], uPlane[chroma], vPlane[chroma]};
                for (int c = 0; c < 3; ++c) {
                    sums[c][bx] = values[c];
                    ++bins[0][c][values[c] >> 4];
                }
                n = 1;
            }
            for (int c = 0; c < 3; ++c)
                blockMeans[c][kGrid * bx + by] = static_cast<double>(sums[c][bx]) / n;
        }
    }

    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < kBins; ++k)
            histogram[c][k] = bins[0][c][k] + bins[1][c][k];
    histogramComputed = true;
    return true;
}

void Frame::computeColorLayout() {
    if (colorLayoutComputed)
        return;
    if (!histogramComputed)
        computeHistogram();
    for (int c = 0; c < 3; ++c) {
        transform(blockMeans[c], colorLayout[c]);
        quantise(c, colorLayout[c]);
    }
    colorLayoutComputed = true;
}

double Frame::getActivity() {
    if (activityComputed)
        return activity;
    if (!histogramComputed)
        computeHistogram();
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
    activityComputed = true;
    return activity;
}

double Frame::getColorCount() {
    if (!histogramComputed)
        computeHistogram();
    return (busyBins(histogram[Y]) + busyBins(histogram[U]) + busyBins(histogram[V])) * (1.0 / 3);
}

double colorLayoutDistance(Frame* a, Frame* b) {
    b->computeColorLayout();
    a->computeColorLayout();
    const double sy = weightedSquares(a->colorLayout[Y], b->colorLayout[Y]);
    const double su = weightedSquares(a->colorLayout[U], b->colorLayout[U]);
    const double sv = weightedSquares(a->colorLayout[V], b->colorLayout[V]);
    return (0.35 * (std::sqrt(su) + std::sqrt(sv)) + 0.3 * std::sqrt(sy)) * (1.0 / 18);
}

double histogramSimilarity(Frame* a, Frame* b) {
    b->computeHistogram();
    a->computeHistogram();
    const double samplesY = total(b->histogram[Y]);
    const double samplesU = total(b->histogram[U]);
    // Only a frame that never had pixels has no samples; it resembles nothing.
    if (samplesY == 0.0 || samplesU == 0.0)
        return 0.0;
    const double iy = intersection(a->histogram[Y], b->histogram[Y]);
    const double iu = intersection(a->histogram[U], b->histogram[U]);
    const double iv = intersection(a->histogram[V], b->histogram[V]);
    return 0.4 * iy / samplesY + 0.3 * (iu + iv) / samplesU;
}

double frameDifference(Frame* a, Frame* b) {
    return 0.55 * (1.0 - histogramSimilarity(a, b)) + 0.45 * colorLayoutDistance(a, b);
}

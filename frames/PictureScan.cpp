#include "PictureScan.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cmath>
#include <cstddef>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace picturescan {

void blockBounds(int size, int start[kGrid], int end[kGrid]) {
    const double d = size * 0.125;
    for (int b = 0; b < kGrid; ++b) {
        start[b] = static_cast<int>(std::floor(b * d));
        end[b] = static_cast<int>(std::floor(start[b] + d));
    }
}

namespace {

constexpr int kY = 0;
constexpr int kU = 1;
constexpr int kV = 2;

// Where one sampled luma row's samples are read from.
struct SampledRow {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
};

SampledRow sampledRow(const AVFrame* picture, int y) {
    const ptrdiff_t stride = picture->linesize[0];
    // The chroma row is addressed with half the luma stride.
    const ptrdiff_t chroma = ((y >> 1) * stride) / 2;
    return {picture->data[0] + y * stride, picture->data[1] + chroma, picture->data[2] + chroma};
}

void addBins(const uint32_t bins[2][3][kBins], PictureScan* out) {
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < kBins; ++k)
            out->bins[c][k] = bins[0][c][k] + bins[1][c][k];
}

// One sampled row, one sample at a time, into the row of blocks' sums and
// two sets of bins: one for alternate samples, so that runs of equal values
// do not wait on one counter. Fetches the next sampled row, when given,
// block by block ahead of its reading.
void sampleRow(const SampledRow& row, const int x0[kGrid], const int x1[kGrid],
               uint32_t sums[3][kGrid], uint32_t bins[2][3][kBins],
               const SampledRow* next = nullptr) {
    constexpr int kLine = 64;
    for (int bx = 0; bx < kGrid; ++bx) {
        if (next != nullptr)
            for (int x = x0[bx]; x < x1[bx]; x += kLine) {
                __builtin_prefetch(next->y + x);
                if ((x & kLine) == 0) {
                    __builtin_prefetch(next->u + x / 2);
                    __builtin_prefetch(next->v + x / 2);
                }
            }
        uint32_t sumY = 0, sumU = 0, sumV = 0;
        int x = x0[bx];
        for (; x + kSampleStep < x1[bx]; x += 2 * kSampleStep) {
            const uint32_t ya = row.y[x], ua = row.u[x >> 1], va = row.v[x >> 1];
            const int xb = x + kSampleStep;
            const uint32_t yb = row.y[xb], ub = row.u[xb >> 1], vb = row.v[xb >> 1];
            ++bins[0][kY][ya >> 4];
            ++bins[0][kU][ua >> 4];
            ++bins[0][kV][va >> 4];
            ++bins[1][kY][yb >> 4];
            ++bins[1][kU][ub >> 4];
            ++bins[1][kV][vb >> 4];
            sumY += ya + yb;
            sumU += ua + ub;
            sumV += va + vb;
        }
        if (x < x1[bx]) {
            const uint32_t ya = row.y[x], ua = row.u[x >> 1], va = row.v[x >> 1];
            ++bins[0][kY][ya >> 4];
            ++bins[0][kU][ua >> 4];
            ++bins[0][kV][va >> 4];
            sumY += ya;
            sumU += ua;
            sumV += va;
        }
        sums[kY][bx] += sumY;
        sums[kU][bx] += sumU;
        sums[kV][bx] += sumV;
    }
}

void scanOneByOne(const AVFrame* picture, int width, int height, PictureScan* out) {
    int x0[kGrid], x1[kGrid], y0[kGrid], y1[kGrid];
    blockBounds(width, x0, x1);
    blockBounds(height, y0, y1);
    uint32_t bins[2][3][kBins] = {};
    // Sampled rows outermost, so each is read once from left to right; the
    // sums are integers, so the order does not change them.
    for (int by = 0; by < kGrid; ++by) {
        uint32_t sums[3][kGrid] = {};
        for (int y = y0[by]; y < y1[by]; y += kSampleStep)
            sampleRow(sampledRow(picture, y), x0, x1, sums, bins);
        for (int c = 0; c < 3; ++c)
            for (int bx = 0; bx < kGrid; ++bx)
                out->sums[c][by][bx] = sums[c][bx];
    }
    addBins(bins, out);
}

#if defined(__SSE2__)

// Luma columns a step covers; its chroma is the 16 bytes from half its first.
constexpr int kStepColumns = 32;
// The vectors need every block at least a step wide, so that a step holds
// samples of two blocks at most.
constexpr int kNarrowestForSteps = kGrid * kStepColumns;

// What a step of a sampled row holds, the same for every row: masks of its
// samples' lanes (0xff) in its first block and in the next one, luma and
// the chroma they read, and the samples' columns from the step's first.
struct Step {
    __m128i low[2], high[2];
    __m128i chromaLow, chromaHigh;
    int block;
    bool twoBlocks;
    uint8_t count; // samples in the step
    uint8_t laneCount;
    uint8_t lanes[kStepColumns / kSampleStep + 2];
};

// A sampled column past the last whole step, and its block.
struct TailSample {
    int x, block;
};

struct RowLayout {
    std::vector<Step> steps;
    std::vector<TailSample> tail;

    explicit RowLayout(int width) : steps(width / kStepColumns) {
        int x0[kGrid], x1[kGrid];
        blockBounds(width, x0, x1);
        std::vector<int> blockOf(width, -1); // of each sampled column
        for (int b = 0; b < kGrid; ++b)
            for (int x = x0[b]; x < x1[b]; x += kSampleStep)
                blockOf[x] = b;
        for (size_t j = 0; j < steps.size(); ++j) {
            alignas(16) uint8_t low[kStepColumns] = {}, high[kStepColumns] = {};
            alignas(16) uint8_t chromaLow[16] = {}, chromaHigh[16] = {};
            Step& s = steps[j];
            s.block = -1;
            s.count = 0;
            s.laneCount = 0;
            for (int i = 0; i < kStepColumns; ++i) {
                const int b = blockOf[j * kStepColumns + i];
                if (b < 0)
                    continue;
                if (s.block < 0)
                    s.block = b;
                // Plain stores: GCC 12 with the sanitizers' checks makes
                // wrong code of a store through (first ? a : b)[i].
                if (b == s.block) {
                    low[i] = 0xff;
                    chromaLow[i >> 1] = 0xff;
                } else {
                    high[i] = 0xff;
                    chromaHigh[i >> 1] = 0xff;
                }
                ++s.count;
                s.lanes[s.laneCount++] = static_cast<uint8_t>(i);
            }
            if (s.block < 0)
                s.block = 0;
            s.twoBlocks = false;
            for (int i = 0; i < kStepColumns; ++i)
                s.twoBlocks = s.twoBlocks || high[i] != 0;
            for (int half = 0; half < 2; ++half) {
                s.low[half] = _mm_load_si128(reinterpret_cast<const __m128i*>(low + 16 * half));
                s.high[half] = _mm_load_si128(reinterpret_cast<const __m128i*>(high + 16 * half));
            }
            s.chromaLow = _mm_load_si128(reinterpret_cast<const __m128i*>(chromaLow));
            s.chromaHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(chromaHigh));
        }
        for (int x = static_cast<int>(steps.size()) * kStepColumns; x < width; ++x)
            if (blockOf[x] >= 0)
                tail.push_back({x, blockOf[x]});
    }
};

// Given a vector's bytes xor the bytes one lane on, whether the first 15
// are zero in their high four bits: whether all 16 bytes fall into one bin.
inline bool oneBin(__m128i differences) {
    const __m128i high = _mm_and_si128(differences, _mm_set1_epi8(static_cast<char>(0xf0)));
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_setzero_si128())) & 0x7fff) == 0x7fff;
}

inline __m128i sumOf(__m128i pixels, __m128i mask) {
    return _mm_sad_epu8(_mm_and_si128(pixels, mask), _mm_setzero_si128());
}

inline uint32_t total(__m128i sums) {
    // Each half is below 2^32: a block has fewer than 2^24 samples.
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

inline __m128i load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The row's steps: each block's sums gathered in registers while the steps
// stay in it; the bins counted at once where every channel's pixels of the
// step fall into one bin, as flat pictures mostly do, else sample by sample.
// The next sampled row, if any, is fetched meanwhile. Returns the steps
// counted sample by sample.
size_t scanSteps(const SampledRow& row, const SampledRow* next, const RowLayout& layout,
                 __m128i sums[3][kGrid + 1], uint32_t bins[2][3][kBins]) {
    __m128i y = _mm_setzero_si128(), u = y, v = y;
    int block = layout.steps.empty() ? 0 : layout.steps[0].block;
    size_t busy = 0;
    for (size_t j = 0; j < layout.steps.size(); ++j) {
        const Step& s = layout.steps[j];
        const int x = static_cast<int>(j) * kStepColumns;
        if (next != nullptr) {
            _mm_prefetch(reinterpret_cast<const char*>(next->y + x), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(next->u + x / 2), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(next->v + x / 2), _MM_HINT_T0);
        }
        const __m128i y0 = load(row.y + x), y1 = load(row.y + x + 16);
        const __m128i us = load(row.u + x / 2), vs = load(row.v + x / 2);
        if (s.block != block) {
            sums[kY][block] = _mm_add_epi64(sums[kY][block], y);
            sums[kU][block] = _mm_add_epi64(sums[kU][block], u);
            sums[kV][block] = _mm_add_epi64(sums[kV][block], v);
            y = u = v = _mm_setzero_si128();
            block = s.block;
        }
        y = _mm_add_epi64(y, _mm_add_epi64(sumOf(y0, s.low[0]), sumOf(y1, s.low[1])));
        u = _mm_add_epi64(u, sumOf(us, s.chromaLow));
        v = _mm_add_epi64(v, sumOf(vs, s.chromaLow));
        if (s.twoBlocks) {
            __m128i* next = &sums[kY][block + 1];
            *next = _mm_add_epi64(*next, _mm_add_epi64(sumOf(y0, s.high[0]), sumOf(y1, s.high[1])));
            next = &sums[kU][block + 1];
            *next = _mm_add_epi64(*next, sumOf(us, s.chromaHigh));
            next = &sums[kV][block + 1];
            *next = _mm_add_epi64(*next, sumOf(vs, s.chromaHigh));
        }

        // Each channel's bytes against the next ones, and the two luma
        // vectors against each other.
        const __m128i differences =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_xor_si128(y0, _mm_srli_si128(y0, 1)),
                                                   _mm_xor_si128(y1, _mm_srli_si128(y1, 1))),
                                      _mm_xor_si128(y0, y1)),
                         _mm_or_si128(_mm_xor_si128(us, _mm_srli_si128(us, 1)),
                                      _mm_xor_si128(vs, _mm_srli_si128(vs, 1))));
        if (oneBin(differences)) {
            uint32_t(&counts)[3][kBins] = bins[j & 1];
            counts[kY][row.y[x] >> 4] += s.count;
            counts[kU][row.u[x / 2] >> 4] += s.count;
            counts[kV][row.v[x / 2] >> 4] += s.count;
            continue;
        }
        ++busy;
        for (int k = 0; k < s.laneCount; ++k) {
            uint32_t(&counts)[3][kBins] = bins[k & 1];
            const int at = x + s.lanes[k];
            ++counts[kY][row.y[at] >> 4];
            ++counts[kU][row.u[at >> 1] >> 4];
            ++counts[kV][row.v[at >> 1] >> 4];
        }
    }
    sums[kY][block] = _mm_add_epi64(sums[kY][block], y);
    sums[kU][block] = _mm_add_epi64(sums[kU][block], u);
    sums[kV][block] = _mm_add_epi64(sums[kV][block], v);
    return busy;
}

// Rows taken one sample at a time after a row of mostly busy steps: there
// the vectors' test for one bin only adds to the counting.
constexpr int kRowsOneByOne = 8;

void scanByVectors(const AVFrame* picture, int width, int height, PictureScan* out) {
    const RowLayout layout(width);
    int x0[kGrid], x1[kGrid], y0[kGrid], y1[kGrid];
    blockBounds(width, x0, x1);
    blockBounds(height, y0, y1);
    uint32_t bins[2][3][kBins] = {};
    int rowsOneByOne = 0;
    for (int by = 0; by < kGrid; ++by) {
        // One more block than the grid's, for a last step's empty next one.
        __m128i sums[3][kGrid + 1];
        for (auto& channel : sums)
            for (__m128i& sum : channel)
                sum = _mm_setzero_si128();
        // The sums of rows taken one by one and of the samples past the steps.
        uint32_t scalarSums[3][kGrid] = {};
        for (int y = y0[by]; y < y1[by]; y += kSampleStep) {
            const SampledRow row = sampledRow(picture, y);
            const bool last = y + kSampleStep >= height;
            const SampledRow next = sampledRow(picture, last ? y : y + kSampleStep);
            if (rowsOneByOne > 0) {
                --rowsOneByOne;
                sampleRow(row, x0, x1, scalarSums, bins, last ? nullptr : &next);
                continue;
            }
            if (2 * scanSteps(row, last ? nullptr : &next, layout, sums, bins) >
                layout.steps.size())
                rowsOneByOne = kRowsOneByOne;
            for (const TailSample& t : layout.tail) {
                const uint32_t values[3] = {row.y[t.x], row.u[t.x >> 1], row.v[t.x >> 1]};
                for (int c = 0; c < 3; ++c) {
                    scalarSums[c][t.block] += values[c];
                    ++bins[0][c][values[c] >> 4];
                }
            }
        }
        for (int c = 0; c < 3; ++c)
            for (int bx = 0; bx < kGrid; ++bx)
                out->sums[c][by][bx] = total(sums[c][bx]) + scalarSums[c][bx];
    }
    addBins(bins, out);
}

#endif

} // namespace
} // namespace picturescan

void scanPicture(const AVFrame* picture, int width, int height, PictureScan* out) {
#if defined(__SSE2__)
    if (width >= picturescan::kNarrowestForSteps) {
        picturescan::scanByVectors(picture, width, height, out);
        return;
    }
#endif
    picturescan::scanOneByOne(picture, width, height, out);
}

void scanPictureOneByOne(const AVFrame* picture, int width, int height, PictureScan* out) {
    picturescan::scanOneByOne(picture, width, height, out);
}

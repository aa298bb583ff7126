// How far apart two pictures look: their histograms' intersection and the
// distance of their colour layouts' low-frequency corners.

#include "Descriptors.h"

#include <algorithm>
#include <cmath>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Named apart from the descriptors' own, which a unity build puts beside them.
constexpr int kChannelY = 0;
constexpr int kChannelU = 1;
constexpr int kChannelV = 2;
constexpr int kHistogramBins = 16;

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

// The weighted squared differences of the 6 x 6 corner, per channel, each
// summed in the corner's order; the three sums run side by side, so that the
// processor overlaps them.
template <typename At> void weightedSquares(const At& a, const At& b, double sums[3]) {
    double sy = 0.0, su = 0.0, sv = 0.0;
    for (int r = 0; r < kCompared; ++r)
        for (int s = 0; s < kCompared; ++s) {
            const double w = kWeight[r][s];
            const double dy = b(kChannelY, r, s) - a(kChannelY, r, s);
            const double du = b(kChannelU, r, s) - a(kChannelU, r, s);
            const double dv = b(kChannelV, r, s) - a(kChannelV, r, s);
            sy += w * dy * dy;
            su += w * du * du;
            sv += w * dv * dv;
        }
    sums[kChannelY] = sy;
    sums[kChannelU] = su;
    sums[kChannelV] = sv;
}

double layoutDistance(const double sums[3]) {
    const double sy = sums[kChannelY], su = sums[kChannelU], sv = sums[kChannelV];
    return (0.35 * (std::sqrt(su) + std::sqrt(sv)) + 0.3 * std::sqrt(sy)) * (1.0 / 18);
}

// Only a frame that never had pixels has no samples; it resembles nothing.
double similarity(const double a[3][kHistogramBins], const double b[3][kHistogramBins],
                  double samplesY, double samplesU) {
    if (samplesY == 0.0 || samplesU == 0.0)
        return 0.0;
    // The three intersections side by side, each summed in its bins' order.
    double iy = 0.0, iu = 0.0, iv = 0.0;
    for (int k = 0; k < kHistogramBins; ++k) {
        iy += std::min(a[kChannelY][k], b[kChannelY][k]);
        iu += std::min(a[kChannelU][k], b[kChannelU][k]);
        iv += std::min(a[kChannelV][k], b[kChannelV][k]);
    }
    return 0.4 * iy / samplesY + 0.3 * (iu + iv) / samplesU;
}

double total(const double h[kHistogramBins]) {
    double sum = 0.0;
    for (int k = 0; k < kHistogramBins; ++k)
        sum += h[k];
    return sum;
}

} // namespace

double colorLayoutDistance(const Descriptors& a, const Descriptors& b) {
    double sums[3];
    const auto at = [](const Descriptors& d) {
        return [&d](int c, int r, int s) { return d.colorLayout[c][8 * r + s]; };
    };
    weightedSquares(at(a), at(b), sums);
    return layoutDistance(sums);
}

double histogramSimilarity(const Descriptors& a, const Descriptors& b) {
    return similarity(a.histogram, b.histogram, total(b.histogram[kChannelY]),
                      total(b.histogram[kChannelU]));
}

double frameDifference(const Descriptors& a, const Descriptors& b) {
    return 0.55 * (1.0 - histogramSimilarity(a, b)) + 0.45 * colorLayoutDistance(a, b);
}

DifferencePoint differencePoint(const Descriptors& d) {
    DifferencePoint point;
    std::copy(&d.histogram[0][0], &d.histogram[0][0] + 3 * kHistogramBins, &point.histogram[0][0]);
    point.samplesY = total(d.histogram[kChannelY]);
    point.samplesU = total(d.histogram[kChannelU]);
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < kCompared; ++r)
            for (int s = 0; s < kCompared; ++s)
                point.corner[c][kCompared * r + s] = d.colorLayout[c][8 * r + s];
    return point;
}

double frameDifference(const DifferencePoint& a, const DifferencePoint& b) {
    double sums[3];
    const auto at = [](const DifferencePoint& p) {
        return [&p](int c, int r, int s) { return p.corner[c][kCompared * r + s]; };
    };
    weightedSquares(at(a), at(b), sums);
    const double similar = similarity(a.histogram, b.histogram, b.samplesY, b.samplesU);
    return 0.55 * (1.0 - similar) + 0.45 * layoutDistance(sums);
}

#if defined(__x86_64__)
// Four pictures' points, element by element side by side.
struct DifferencePack {
    alignas(32) double histogram[3][kHistogramBins][4];
    alignas(32) double samplesY[4];
    alignas(32) double samplesU[4];
    alignas(32) double corner[3][kCompared * kCompared][4];
};

namespace {

// The differences from the histograms' intersections and the corners'
// weighted squares, as frameDifference ends.
__attribute__((target("avx2"))) inline void finish4(__m256d samplesY, __m256d samplesU, __m256d iy,
                                                    __m256d iu, __m256d iv, __m256d sy, __m256d su,
                                                    __m256d sv, double* out) {
    const __m256d zero = _mm256_setzero_pd();
    __m256d similar = _mm256_add_pd(
        _mm256_div_pd(_mm256_mul_pd(_mm256_set1_pd(0.4), iy), samplesY),
        _mm256_div_pd(_mm256_mul_pd(_mm256_set1_pd(0.3), _mm256_add_pd(iu, iv)), samplesU));
    // A picture that never had samples resembles nothing.
    const __m256d unsampled = _mm256_or_pd(_mm256_cmp_pd(samplesY, zero, _CMP_EQ_OQ),
                                           _mm256_cmp_pd(samplesU, zero, _CMP_EQ_OQ));
    similar = _mm256_blendv_pd(similar, zero, unsampled);
    const __m256d layout = _mm256_mul_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(0.35),
                                    _mm256_add_pd(_mm256_sqrt_pd(su), _mm256_sqrt_pd(sv))),
                      _mm256_mul_pd(_mm256_set1_pd(0.3), _mm256_sqrt_pd(sy))),
        _mm256_set1_pd(1.0 / 18));
    const __m256d difference = _mm256_add_pd(
        _mm256_mul_pd(_mm256_set1_pd(0.55), _mm256_sub_pd(_mm256_set1_pd(1.0), similar)),
        _mm256_mul_pd(_mm256_set1_pd(0.45), layout));
    _mm256_storeu_pd(out, difference);
}

// frameDifference of two pictures (from0's in lane0, from1's in lane1) with
// each of the pack's four, in the four lanes of the processor's 256-bit
// registers. Each lane does what frameDifference does, operation for
// operation and in the same order (no fused multiply-add), so the results
// are the same to the bit; the two pictures' sums do not wait on each other.
__attribute__((target("avx2"))) void differences4x2(const DifferencePack& from0, size_t lane0,
                                                    const DifferencePack& from1, size_t lane1,
                                                    const DifferencePack& b, double* out0,
                                                    double* out1) {
    const __m256d zero = _mm256_setzero_pd();
    __m256d iy0 = zero, iu0 = zero, iv0 = zero, iy1 = zero, iu1 = zero, iv1 = zero;
    for (int k = 0; k < kHistogramBins; ++k) {
        const __m256d by = _mm256_load_pd(b.histogram[kChannelY][k]);
        const __m256d bu = _mm256_load_pd(b.histogram[kChannelU][k]);
        const __m256d bv = _mm256_load_pd(b.histogram[kChannelV][k]);
        iy0 = _mm256_add_pd(
            iy0, _mm256_min_pd(by, _mm256_set1_pd(from0.histogram[kChannelY][k][lane0])));
        iu0 = _mm256_add_pd(
            iu0, _mm256_min_pd(bu, _mm256_set1_pd(from0.histogram[kChannelU][k][lane0])));
        iv0 = _mm256_add_pd(
            iv0, _mm256_min_pd(bv, _mm256_set1_pd(from0.histogram[kChannelV][k][lane0])));
        iy1 = _mm256_add_pd(
            iy1, _mm256_min_pd(by, _mm256_set1_pd(from1.histogram[kChannelY][k][lane1])));
        iu1 = _mm256_add_pd(
            iu1, _mm256_min_pd(bu, _mm256_set1_pd(from1.histogram[kChannelU][k][lane1])));
        iv1 = _mm256_add_pd(
            iv1, _mm256_min_pd(bv, _mm256_set1_pd(from1.histogram[kChannelV][k][lane1])));
    }
    __m256d sy0 = zero, su0 = zero, sv0 = zero, sy1 = zero, su1 = zero, sv1 = zero;
    for (int i = 0; i < kCompared * kCompared; ++i) {
        const __m256d w = _mm256_set1_pd(kWeight[i / kCompared][i % kCompared]);
        const __m256d by = _mm256_load_pd(b.corner[kChannelY][i]);
        const __m256d bu = _mm256_load_pd(b.corner[kChannelU][i]);
        const __m256d bv = _mm256_load_pd(b.corner[kChannelV][i]);
        __m256d d = _mm256_sub_pd(by, _mm256_set1_pd(from0.corner[kChannelY][i][lane0]));
        sy0 = _mm256_add_pd(sy0, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(bu, _mm256_set1_pd(from0.corner[kChannelU][i][lane0]));
        su0 = _mm256_add_pd(su0, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(bv, _mm256_set1_pd(from0.corner[kChannelV][i][lane0]));
        sv0 = _mm256_add_pd(sv0, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(by, _mm256_set1_pd(from1.corner[kChannelY][i][lane1]));
        sy1 = _mm256_add_pd(sy1, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(bu, _mm256_set1_pd(from1.corner[kChannelU][i][lane1]));
        su1 = _mm256_add_pd(su1, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(bv, _mm256_set1_pd(from1.corner[kChannelV][i][lane1]));
        sv1 = _mm256_add_pd(sv1, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
    }
    const __m256d samplesY = _mm256_load_pd(b.samplesY);
    const __m256d samplesU = _mm256_load_pd(b.samplesU);
    finish4(samplesY, samplesU, iy0, iu0, iv0, sy0, su0, sv0, out0);
    finish4(samplesY, samplesU, iy1, iu1, iv1, sy1, su1, sv1, out1);
}

// The other way round: frameDifference of the pack's four pictures (as the
// first picture, one a lane) with one picture of b (lane laneB) as the
// second, for a row's last pictures that fill no pack of four. Each lane
// again does what frameDifference does, with the operands in its order.
__attribute__((target("avx2"))) void
differences1x4(const DifferencePack& from, const DifferencePack& b, size_t laneB, double* out) {
    const __m256d zero = _mm256_setzero_pd();
    __m256d iy = zero, iu = zero, iv = zero;
    for (int k = 0; k < kHistogramBins; ++k) {
        iy = _mm256_add_pd(iy, _mm256_min_pd(_mm256_set1_pd(b.histogram[kChannelY][k][laneB]),
                                             _mm256_load_pd(from.histogram[kChannelY][k])));
        iu = _mm256_add_pd(iu, _mm256_min_pd(_mm256_set1_pd(b.histogram[kChannelU][k][laneB]),
                                             _mm256_load_pd(from.histogram[kChannelU][k])));
        iv = _mm256_add_pd(iv, _mm256_min_pd(_mm256_set1_pd(b.histogram[kChannelV][k][laneB]),
                                             _mm256_load_pd(from.histogram[kChannelV][k])));
    }
    __m256d sy = zero, su = zero, sv = zero;
    for (int i = 0; i < kCompared * kCompared; ++i) {
        const __m256d w = _mm256_set1_pd(kWeight[i / kCompared][i % kCompared]);
        __m256d d = _mm256_sub_pd(_mm256_set1_pd(b.corner[kChannelY][i][laneB]),
                                  _mm256_load_pd(from.corner[kChannelY][i]));
        sy = _mm256_add_pd(sy, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(_mm256_set1_pd(b.corner[kChannelU][i][laneB]),
                          _mm256_load_pd(from.corner[kChannelU][i]));
        su = _mm256_add_pd(su, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
        d = _mm256_sub_pd(_mm256_set1_pd(b.corner[kChannelV][i][laneB]),
                          _mm256_load_pd(from.corner[kChannelV][i]));
        sv = _mm256_add_pd(sv, _mm256_mul_pd(_mm256_mul_pd(w, d), d));
    }
    finish4(_mm256_set1_pd(b.samplesY[laneB]), _mm256_set1_pd(b.samplesU[laneB]), iy, iu, iv, sy,
            su, sv, out);
}

bool fourAtOnce() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

} // namespace

struct DifferenceRow::Packs {
    std::vector<DifferencePack> packs;
};
#else
struct DifferenceRow::Packs {};
#endif

DifferenceRow::DifferenceRow(const std::vector<DifferencePoint>& row) : count(row.size()) {
#if defined(__x86_64__)
    if (fourAtOnce()) {
        // Only the packs are kept: the picture compared is read from them too.
        packed = std::make_unique<Packs>();
        packed->packs.resize((count + 3) / 4);
        for (size_t q = 0; q < packed->packs.size() * 4 && count > 0; ++q) {
            // The last pack's spare lanes repeat the last point; their
            // answers are dropped.
            const DifferencePoint& p = row[std::min(q, count - 1)];
            DifferencePack& pack = packed->packs[q / 4];
            const size_t lane = q % 4;
            for (int c = 0; c < 3; ++c) {
                for (int k = 0; k < kHistogramBins; ++k)
                    pack.histogram[c][k][lane] = p.histogram[c][k];
                for (int i = 0; i < kCompared * kCompared; ++i)
                    pack.corner[c][i][lane] = p.corner[c][i];
            }
            pack.samplesY[lane] = p.samplesY;
            pack.samplesU[lane] = p.samplesU;
        }
        return;
    }
#endif
    points = row;
}

DifferenceRow::~DifferenceRow() = default;

void DifferenceRow::differences(const DifferenceRow& from, double* out) const {
#if defined(__x86_64__)
    if (packed) {
        const std::vector<DifferencePack>& packs = packed->packs;
        const std::vector<DifferencePack>& fromPacks = from.packed->packs;
        const size_t whole = count / 4;
        // Two of from's pictures at a time, against this row's whole packs;
        // an odd last one goes twice.
        if (whole > 0)
            for (size_t p = 0; p < from.count; p += 2) {
                const size_t p1 = std::min(p + 1, from.count - 1);
                double* row0 = out + p * count;
                double* row1 = out + p1 * count;
                for (size_t g = 0; g < whole; ++g)
                    differences4x2(fromPacks[p / 4], p % 4, fromPacks[p1 / 4], p1 % 4, packs[g],
                                   row0 + 4 * g, row1 + 4 * g);
            }
        // This row's last pictures, each against four of from's at a time.
        double four[4];
        for (size_t q = 4 * whole; q < count; ++q)
            for (size_t g = 0; g < fromPacks.size(); ++g) {
                differences1x4(fromPacks[g], packs[whole], q % 4, four);
                for (size_t lane = 0; lane < 4 && 4 * g + lane < from.count; ++lane)
                    out[(4 * g + lane) * count + q] = four[lane];
            }
        return;
    }
#endif
    for (size_t p = 0; p < from.count; ++p)
        for (size_t q = 0; q < count; ++q)
            out[p * count + q] = frameDifference(from.points[p], points[q]);
}

#include "Frame.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using testframes::describe;
using testframes::paintLuma;
using testframes::uniformPicture;

namespace {

constexpr int Y = 0, U = 1, V = 2;

TEST(ColourLayout, QuantisesAlongEachBranchOfEachChannel) {
    // Flat block means give only a DC term; means shaped as the DCT basis
    // pattern (v, u) = (1, 1) give only the AC term at index 9.
    struct Case {
        int channel;
        bool ac;
        double value, expected;
    };
    const double basis[8] = {0.4903926,   0.4157348,  0.2777851,  0.09754516,
                             -0.09754516, -0.2777851, -0.4157348, -0.4903926};
    for (const Case& c :
         {Case{Y, false, 255, 63}, Case{Y, false, 200, 57}, Case{Y, false, 180, 53},
          Case{Y, false, 128, 32}, Case{Y, false, 80, 12}, Case{Y, false, 16, 2},
          Case{U, false, 200, 63}, Case{U, false, 170, 58}, Case{U, false, 150, 51},
          Case{U, false, 128, 32}, Case{U, false, 100, 10}, Case{U, false, 70, 1},
          Case{U, false, 60, 0}, Case{V, false, 170, 58}, Case{V, false, 100, 10},
          // AC: clamped to [-256, 255], only the magnitude kept; luma halved first.
          Case{U, true, -300.5, 16}, Case{U, true, 300.5, 16}, Case{V, true, 100.5, 10},
          Case{V, true, 44.5, 6}, Case{Y, true, 100.5, 6}}) {
        SCOPED_TRACE(testing::Message() << c.channel << (c.ac ? " AC " : " DC ") << c.value);
        Descriptors d;
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j)
                d.blockMeans[c.channel][8 * i + j] = c.ac ? c.value * basis[i] * basis[j] : c.value;
        d.derive();
        for (int k = 0; k < 64; ++k)
            EXPECT_EQ(d.colorLayout[c.channel][k], k == (c.ac ? 9 : 0) ? c.expected : 0) << k;
    }
}

TEST(FrameDifference, MatchesTheHandComputedValues) {
    const auto check = [](const char* what, const Descriptors& a, const Descriptors& b,
                          double similarity, double layout, double difference) {
        SCOPED_TRACE(what);
        EXPECT_NEAR(histogramSimilarity(a, b), similarity, 1e-12);
        if (layout >= 0) { // not worked out by hand otherwise
            EXPECT_NEAR(colorLayoutDistance(a, b), layout, 1e-12);
            EXPECT_NEAR(frameDifference(a, b), difference, 1e-12);
            EXPECT_NEAR(frameDifference(b, a), difference, 1e-12);
        }
    };
    const auto texture = [](int x, int y) { return 3 * x + y; };
    check("identical", describe(paintLuma(uniformPicture(64, 48, 0, 0, 0), texture)),
          describe(paintLuma(uniformPicture(64, 48, 0, 0, 0), texture)), 1.0, 0.0, 0.0);
    // Only the DC terms differ: Y 2 against 62, U and V 32 against 0.
    check("disjoint", describe(uniformPicture(64, 64, 16, 128, 128)),
          describe(uniformPicture(64, 64, 240, 16, 16)), 0.0, 1.419511305231139,
          1.1887800873540126);
    // Half of the luma samples still share the bin: 0.4 * 0.5 + 0.3 * 2.
    check("half the luma", describe(uniformPicture(64, 64, 16, 128, 128)),
          describe(paintLuma(uniformPicture(64, 64, 16, 128, 128),
                             [](int x, int) { return x < 32 ? 16 : 200; })),
          0.8, -1, -1);
    // Terms outside the 6 x 6 corner count for nothing; no samples, no similarity.
    Descriptors a;
    Descriptors b;
    a.derive();
    b.derive();
    a.colorLayout[Y][8 * 1 + 2] = 5;
    a.colorLayout[U][8 * 5 + 5] = 1;
    a.colorLayout[V][8 * 0 + 6] = 9;
    a.colorLayout[V][8 * 6 + 0] = 9;
    check("weighted corner", a, b, 0.0, 0.04287980450430942, 0.5692959120269393);
}

TEST(FrameDifference, FromDifferencePointsGivesTheSameBits) {
    // Random descriptors, with pictures that never had samples, ties in the
    // histograms and identical pictures among them.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(0.0, 300.0);
    std::vector<Descriptors> frames(40);
    for (size_t i = 0; i < frames.size(); ++i) {
        Descriptors& d = frames[i];
        for (int c = 0; c < 3; ++c) {
            for (double& bin : d.histogram[c])
                bin = i % 7 == 3 ? 0.0 : std::floor(value(random) / (i % 5 == 1 ? 50 : 1));
            for (double& mean : d.blockMeans[c])
                mean = value(random) * 0.85;
        }
        d.derive();
    }
    frames[11] = frames[10];
    std::vector<DifferencePoint> points;
    for (const Descriptors& d : frames)
        points.push_back(differencePoint(d));
    for (size_t i = 0; i < frames.size(); ++i)
        for (size_t j = 0; j < frames.size(); ++j) {
            const double fromPoints = frameDifference(points[i], points[j]);
            const double fromDescriptors = frameDifference(frames[i], frames[j]);
            ASSERT_EQ(std::memcmp(&fromPoints, &fromDescriptors, sizeof fromPoints), 0)
                << i << ", " << j << ": " << fromPoints << " against " << fromDescriptors;
        }
    // And rows of them at once, whatever their lengths.
    for (size_t fromLength : {1, 2, 5, 13})
        for (size_t length : {1, 3, 4, 5, 8, 13, 40}) {
            const std::vector<DifferencePoint> from(points.begin(), points.begin() + fromLength);
            const std::vector<DifferencePoint> row(points.end() - length, points.end());
            std::vector<double> out(fromLength * length);
            DifferenceRow(row).differences(DifferenceRow(from), out.data());
            for (size_t i = 0; i < fromLength; ++i)
                for (size_t j = 0; j < length; ++j) {
                    const double one = frameDifference(from[i], row[j]);
                    ASSERT_EQ(std::memcmp(&out[i * length + j], &one, sizeof one), 0)
                        << fromLength << " x " << length << ": " << i << ", " << j;
                }
        }
}

// A picture with rows `stride` bytes apart and chroma rows half that,
// in planes no larger than the passes' reading needs, each sample from pixel(plane, x, y).
struct StridedPicture {
    std::vector<uint8_t> planes[3];
    AVFrame frame{};

    template <typename F> StridedPicture(int width, int height, int stride, F pixel) {
        for (int p = 0; p < 3; ++p) {
            const int w = p == 0 ? width : (width + 1) / 2;
            const int h = p == 0 ? height : (height + 1) / 2;
            const int lineSize = p == 0 ? stride : stride / 2;
            // Chroma row r starts at (r * stride) / 2, past r * (stride / 2)
            // when the stride is odd.
            const size_t last =
                p == 0 ? size_t{0} + lineSize * (h - 1) : (size_t{0} + stride * (h - 1)) / 2;
            planes[p].resize(std::max(static_cast<size_t>(lineSize) * (h - 1), last) + w);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    planes[p][static_cast<size_t>(y) * lineSize + x] = pixel(p, x, y);
            frame.data[p] = planes[p].data();
            frame.linesize[p] = lineSize;
        }
    }
};

TEST(PictureScan, VectorsGiveTheBitsOfOneSampleAtATime) {
    // Sizes on either side of the vectors' narrowest (256) and of whole
    // 32-column steps, odd ones, one smaller than the grid and 8K; packed
    // rows and rows wider than the picture; noise, flat areas with edges and
    // values either side of a bin's edge.
    struct Case {
        int width, height, padding;
    };
    uint32_t state = 12345;
    const auto noise = [&state](int, int, int) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return static_cast<uint8_t>(state >> 24);
    };
    const auto flat = [](int plane, int x, int y) {
        if (plane == 0)
            return static_cast<uint8_t>((x / 40 + y / 25) % 5 == 0 ? 20 + x % 7 : 235);
        // U and V change apart from each other and from the luma.
        if (plane == 1)
            return static_cast<uint8_t>((x / 90) % 3 == 1 ? 170 : 128);
        return static_cast<uint8_t>((x / 70 + y / 30) % 4 == 1 ? 60 : 128);
    };
    const auto edges = [](int plane, int x, int y) {
        return static_cast<uint8_t>(((x + 3 * y + plane) / 11) % 2 == 0 ? 127 : 128);
    };
    for (const Case c :
         {Case{5, 3, 0}, Case{255, 100, 0}, Case{256, 144, 0}, Case{257, 31, 5}, Case{445, 16, 0},
          Case{1279, 719, 0}, Case{1280, 720, 0}, Case{1280, 720, 64}, Case{1921, 1081, 0},
          Case{1920, 1080, 128}, Case{7680, 4320, 0}}) {
        // A packed picture of odd width addresses chroma as our own copies do.
        const int stride = c.width + c.padding;
        std::vector<Descriptors> fast, reference;
        const auto describeBothWays = [&](auto pixel) {
            const StridedPicture picture(c.width, c.height, stride, pixel);
            fast.push_back(Descriptors::of(&picture.frame, c.width, c.height));
            reference.push_back(Descriptors::ofOneByOne(&picture.frame, c.width, c.height));
        };
        describeBothWays(noise);
        describeBothWays(flat);
        describeBothWays(edges);
        for (size_t i = 0; i < fast.size(); ++i)
            ASSERT_EQ(std::memcmp(&fast[i], &reference[i], sizeof(Descriptors)), 0)
                << c.width << " x " << c.height << " + " << c.padding << ", picture " << i;
        for (size_t i = 1; i < fast.size(); ++i) {
            const double one = frameDifference(fast[i - 1], fast[i]);
            const double other = frameDifference(reference[i - 1], reference[i]);
            EXPECT_EQ(std::memcmp(&one, &other, sizeof one), 0) << c.width << " x " << c.height;
        }
    }
}

TEST(SamplingGrid, BlocksEndWhereTheirStartSaysAndChromaRowsUseHalfTheLumaStride) {
    // 445 x 16: block columns start at 0, 55, 111, ... and end before
    // floor(start + 55.625); every block row samples the single row 2 by.
    auto widePicture =
        paintLuma(uniformPicture(445, 16, 0, 0, 0), [](int x, int) { return x / 2; });
    // Sample (55, 2) reads chroma index (1 * 445) / 2 + 27 = 249, one byte
    // before the true start of chroma row 1 plus 27; so does (54, 2).
    widePicture->data[U][249] = 190;
    const Descriptors d = describe(widePicture);
    const Descriptors* wide = &d;
    for (int by = 0; by < 8; ++by) {
        EXPECT_DOUBLE_EQ(wide->blockMeans[Y][by], 252.0 / 19) << by;     // x = 0, 3, ... 54
        EXPECT_DOUBLE_EQ(wide->blockMeans[Y][8 + by], 774.0 / 19) << by; // x = 55, ... 109
    }
    double samples = 0;
    for (double bin : wide->histogram[Y])
        samples += bin;
    EXPECT_EQ(samples, 8 * 19 * 8);
    EXPECT_DOUBLE_EQ(wide->blockMeans[U][8 * 1 + 1], 190.0 / 19);
    EXPECT_DOUBLE_EQ(wide->blockMeans[U][8 * 0 + 1], 190.0 / 19);
    EXPECT_DOUBLE_EQ(wide->blockMeans[U][8 * 2 + 1], 0.0);
    EXPECT_DOUBLE_EQ(wide->blockMeans[V][8 * 1 + 1], 0.0);
    EXPECT_EQ(wide->histogram[U][190 >> 4], 2);

    // 76 x 76: d = 9.5, block 1 starts at 9 and ends before 18, not 19, so
    // it samples 9, 12 and 15 in each direction.
    const Descriptors square = describe(
        paintLuma(uniformPicture(76, 76, 0, 0, 0), [](int x, int y) { return x + 2 * y; }));
    EXPECT_DOUBLE_EQ(square.blockMeans[Y][8 * 1 + 1], 12 + 2 * 12);
}

TEST(SmallPictures, EachBlockTakesThePixelAtItsCornerAndEveryMeasureIsFinite) {
    // Up to 8 x 8 a block holds one sample or none; one without takes the
    // pixel nearest its corner (floor(b * size / 8)) rather than 0/0.
    struct Size {
        int width, height;
    };
    const Descriptors other = describe(uniformPicture(7, 9, 200, 30, 60));
    for (const Size s : {Size{8, 8}, Size{4, 6}, Size{3, 2}, Size{1, 1}, Size{7, 9}}) {
        SCOPED_TRACE(testing::Message() << s.width << " x " << s.height);
        const Descriptors d = describe(paintLuma(uniformPicture(s.width, s.height, 0, 77, 99),
                                                 [](int x, int y) { return 10 * x + y; }));
        const Descriptors* frame = &d;
        for (int bx = 0; bx < 8; ++bx)
            for (int by = 0; by < 8; ++by) {
                EXPECT_EQ(frame->blockMeans[Y][8 * bx + by],
                          10 * (bx * s.width / 8) + by * s.height / 8);
                EXPECT_EQ(frame->blockMeans[U][8 * bx + by], 77);
                EXPECT_EQ(frame->blockMeans[V][8 * bx + by], 99);
            }
        EXPECT_EQ(frame->histogram[U][77 >> 4], 64);
        EXPECT_EQ(frame->histogram[V][99 >> 4], 64);
        EXPECT_TRUE(std::isfinite(frame->activity));
        EXPECT_TRUE(std::isfinite(frame->colorCount()));
        EXPECT_TRUE(std::isfinite(frameDifference(*frame, other)));
        EXPECT_NEAR(frameDifference(*frame, *frame), 0.0, 1e-12);
    }
}

TEST(ChromaActivityAndColourCount, MatchTheHandComputedValues) {
    Descriptors d;
    d.blockMeans[U][0] = 10;          // three differences of 10: 300
    d.blockMeans[V][8 * 7 + 7] = 10;  // only the diagonal of (6, 6): 100
    d.blockMeans[Y][8 * 3 + 3] = 200; // luma is not used
    d.derive();
    EXPECT_DOUBLE_EQ(d.activity, 4.0);
    // Bins above a quarter of each channel's peak: 2, 4 and 1.
    d.histogram[Y][0] = 100;
    d.histogram[Y][5] = 26;
    d.histogram[Y][6] = 25;
    for (int k = 0; k < 4; ++k)
        d.histogram[U][k] = 10;
    d.histogram[V][15] = 1;
    EXPECT_DOUBLE_EQ(d.colorCount(), 7.0 / 3);
}

TEST(DescriptorEncoding, GivesBackEveryValueToTheBitAndRefusesWhatIsNotAWholeEncoding) {
    // Odd sizes, a picture smaller than the grid, a textured one.
    std::string bytes;
    std::vector<Descriptors> written;
    std::vector<OwnedPicture> pictures;
    pictures.push_back(paintLuma(uniformPicture(321, 241, 0, 90, 160),
                                 [](int x, int y) { return (7 * x + 3 * y) % 256; }));
    pictures.push_back(uniformPicture(5, 3, 200, 30, 60));
    pictures.push_back(uniformPicture(64, 48, 16, 128, 128));
    for (const auto& picture : pictures) {
        picture->data[U][11] = 250;
        written.push_back(describe(picture));
        written.back().encode(bytes);
    }
    const auto* at = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = at + bytes.size();
    for (const Descriptors& expected : written) {
        Descriptors read;
        ASSERT_TRUE(Descriptors::decode(&at, end, &read));
        EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0);
    }
    EXPECT_EQ(at, end);

    // Cut short anywhere, of another version, or holding a mean no picture
    // could have: refused, and the reading position stays.
    std::string one;
    written[0].encode(one);
    std::string foreign = one;
    foreign[0] = static_cast<char>(Descriptors::ENCODING_VERSION + 1);
    std::string impossible;
    Descriptors bright = written[2];
    bright.blockMeans[Y][0] = 300;
    bright.encode(impossible);
    for (const std::string& bad :
         {one.substr(0, one.size() - 1), one.substr(0, 1), foreign, impossible, std::string()}) {
        const auto* start = reinterpret_cast<const uint8_t*>(bad.data());
        const uint8_t* position = start;
        Descriptors read;
        EXPECT_FALSE(Descriptors::decode(&position, start + bad.size(), &read)) << bad.size();
        EXPECT_EQ(position, start);
    }
}

} // namespace

#include "Frame.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using testframes::describedFrame;
using testframes::luma;
using testframes::uniformFrame;

namespace {

constexpr int Y = 0;
constexpr int U = 1;
constexpr int V = 2;

// The grid of a 64 x 64 picture: blocks of 8 x 8 pixels sampled at offsets
// 0, 3 and 6 in both directions, 9 samples per block.
constexpr int kSamples64 = 64 * 9;

double quantisedDcOfUniform(int channel, double mean) {
    std::unique_ptr<Frame> frame(describedFrame(0, 0, 0));
    for (double& m : frame->blockMeans[channel])
        m = mean;
    frame->computeColorLayout();
    return frame->colorLayout[channel][0];
}

TEST(UniformFrame, OneBinPerChannelHoldsEverySample) {
    std::unique_ptr<Frame> frame(uniformFrame(64, 64, 16, 128, 128));
    EXPECT_TRUE(frame->computeHistogram());
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(frame->histogram[Y][k], k == 1 ? kSamples64 : 0) << k;
        EXPECT_EQ(frame->histogram[U][k], k == 8 ? kSamples64 : 0) << k;
        EXPECT_EQ(frame->histogram[V][k], k == 8 ? kSamples64 : 0) << k;
    }
    EXPECT_DOUBLE_EQ(frame->getColorCount(), 1.0);
    EXPECT_DOUBLE_EQ(frame->getActivity(), 0.0);
}

TEST(UniformFrame, ColourLayoutHasOnlyDcTerms) {
    std::unique_ptr<Frame> frame(uniformFrame(64, 64, 16, 128, 128));
    frame->computeColorLayout();
    EXPECT_TRUE(frame->colorLayoutComputed);
    EXPECT_EQ(frame->colorLayout[Y][0], 2);
    EXPECT_EQ(frame->colorLayout[U][0], 32);
    EXPECT_EQ(frame->colorLayout[V][0], 32);
    for (int c = 0; c < 3; ++c)
        for (int k = 1; k < 64; ++k)
            EXPECT_EQ(frame->colorLayout[c][k], 0) << c << " " << k;
}

TEST(ColourLayoutQuantisation, LumaDcFollowsEachBranch) {
    EXPECT_EQ(quantisedDcOfUniform(Y, 255), 63); // DC 2040, i = 255, j = 127
    EXPECT_EQ(quantisedDcOfUniform(Y, 200), 57); // 112 + 8 / 4 = 114
    EXPECT_EQ(quantisedDcOfUniform(Y, 180), 53); // 96 + 20 / 2 = 106
    EXPECT_EQ(quantisedDcOfUniform(Y, 128), 32); // 128 - 64 = 64
    EXPECT_EQ(quantisedDcOfUniform(Y, 80), 12);  // 16 + 16 / 2 = 24
    EXPECT_EQ(quantisedDcOfUniform(Y, 16), 2);   // 16 / 4 = 4
}

TEST(ColourLayoutQuantisation, ChromaDcFollowsEachBranch) {
    for (int c : {U, V}) {
        EXPECT_EQ(quantisedDcOfUniform(c, 200), 63);
        EXPECT_EQ(quantisedDcOfUniform(c, 170), 58); // 56 + 10 / 4
        EXPECT_EQ(quantisedDcOfUniform(c, 150), 51); // 48 + 6 / 2
        EXPECT_EQ(quantisedDcOfUniform(c, 128), 32); // 128 - 96
        EXPECT_EQ(quantisedDcOfUniform(c, 100), 10); // 8 + 4 / 2
        EXPECT_EQ(quantisedDcOfUniform(c, 70), 1);   // 6 / 4
        EXPECT_EQ(quantisedDcOfUniform(c, 60), 0);
    }
}

// Block means shaped as one DCT basis pattern give a single AC coefficient
// of about the given amplitude at (v, u) = (1, 1), index 9.
double quantisedAc(int channel, double amplitude) {
    std::unique_ptr<Frame> frame(describedFrame(0, 0, 0));
    const double basis[8] = {0.4903926,   0.4157348,  0.2777851,  0.09754516,
                             -0.09754516, -0.2777851, -0.4157348, -0.4903926};
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            frame->blockMeans[channel][8 * i + j] = amplitude * basis[i] * basis[j];
    frame->computeColorLayout();
    for (int k = 1; k < 64; ++k) {
        if (k != 9) {
            EXPECT_EQ(frame->colorLayout[channel][k], 0) << k;
        }
    }
    return frame->colorLayout[channel][9];
}

TEST(ColourLayoutQuantisation, AcKeepsOnlyTheClampedMagnitude) {
    EXPECT_EQ(quantisedAc(U, -300.5), 16); // clamped to -256, 256 / 4 + 64 = 128
    EXPECT_EQ(quantisedAc(U, 300.5), 16);  // clamped to 255, 255 / 4 + 64 = 127
    EXPECT_EQ(quantisedAc(V, 100.5), 10);  // 100 / 2 + 32 = 82, 10.25 rounds to 10
    EXPECT_EQ(quantisedAc(V, 44.5), 6);    // 44 / 8 = 5.5 rounds half up
    // Luma AC is halved first: 100 -> 50 -> 6.25 -> 6.
    EXPECT_EQ(quantisedAc(Y, 100.5), 6);
}

TEST(FrameDifference, IdenticalFramesDoNotDiffer) {
    std::unique_ptr<Frame> a(uniformFrame(64, 48, 0, 0, 0));
    std::unique_ptr<Frame> b(uniformFrame(64, 48, 0, 0, 0));
    for (Frame* f : {a.get(), b.get()})
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                luma(f, x, y) = static_cast<uint8_t>(3 * x + y);
    EXPECT_NEAR(histogramSimilarity(a.get(), b.get()), 1.0, 1e-12);
    EXPECT_EQ(colorLayoutDistance(a.get(), b.get()), 0.0);
    EXPECT_NEAR(frameDifference(a.get(), b.get()), 0.0, 1e-12);
}

TEST(FrameDifference, DisjointUniformFramesMatchTheHandComputedValue) {
    std::unique_ptr<Frame> dark(uniformFrame(64, 64, 16, 128, 128));
    std::unique_ptr<Frame> light(uniformFrame(64, 64, 240, 16, 16));
    EXPECT_EQ(histogramSimilarity(dark.get(), light.get()), 0.0);
    // Only the DC terms differ: Y 2 against 62, U and V 32 against 0, weight 0.4.
    const double layout =
        (0.35 * 2 * std::sqrt(0.4 * 32 * 32) + 0.3 * std::sqrt(0.4 * 60 * 60)) * (1.0 / 18);
    EXPECT_DOUBLE_EQ(colorLayoutDistance(dark.get(), light.get()), layout);
    const double difference = frameDifference(dark.get(), light.get());
    EXPECT_GE(difference, 0.55);
    EXPECT_DOUBLE_EQ(difference, 0.55 + 0.45 * layout);
    EXPECT_DOUBLE_EQ(frameDifference(light.get(), dark.get()), difference);
}

TEST(FrameDifference, HistogramSimilarityWeighsLumaAndChroma) {
    std::unique_ptr<Frame> a(uniformFrame(64, 64, 16, 128, 128));
    std::unique_ptr<Frame> b(uniformFrame(64, 64, 16, 128, 128));
    for (int y = 0; y < 64; ++y)
        for (int x = 32; x < 64; ++x)
            luma(b.get(), x, y) = 200;
    // Half of the luma samples still share the bin: 0.4 * 0.5 + 0.3 * 2.
    EXPECT_DOUBLE_EQ(histogramSimilarity(a.get(), b.get()), 0.8);
}

TEST(FrameDifference, ColourLayoutDistanceWeighsTheSixBySixCorner) {
    std::unique_ptr<Frame> a(describedFrame(0, 0, 0));
    std::unique_ptr<Frame> b(describedFrame(0, 0, 0));
    a->computeColorLayout();
    b->computeColorLayout();
    a->colorLayout[Y][8 * 1 + 2] = 5; // weight 0.2
    a->colorLayout[U][8 * 5 + 5] = 1; // weight 0.0833
    a->colorLayout[V][8 * 0 + 6] = 9; // outside the compared corner
    a->colorLayout[V][8 * 6 + 0] = 9;
    const double expected = (0.35 * std::sqrt(0.0833) + 0.3 * std::sqrt(0.2 * 25)) * (1.0 / 18);
    EXPECT_DOUBLE_EQ(colorLayoutDistance(a.get(), b.get()), expected);
    EXPECT_DOUBLE_EQ(colorLayoutDistance(b.get(), a.get()), expected);
}

TEST(SamplingGrid, BlockColumnsOf445WidePictureStartFromTheBlockCorner) {
    // 16 rows: dy = 2, so each block row samples the single row y0 = 2 by.
    std::unique_ptr<Frame> frame(uniformFrame(445, 16, 0, 0, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 445; ++x)
            luma(frame.get(), x, y) = static_cast<uint8_t>(x / 2);
    frame->computeHistogram();

    auto meanOfColumns = [](int from, int to) {
        double sum = 0;
        int n = 0;
        for (int x = from; x <= to; x += 3, ++n)
            sum += x / 2;
        return sum / n;
    };
    for (int by = 0; by < 8; ++by) {
        EXPECT_DOUBLE_EQ(frame->blockMeans[Y][by], meanOfColumns(0, 54)) << by;
        // Block 1 ends before x1 = floor(55 + 55.625) = 110.
        EXPECT_DOUBLE_EQ(frame->blockMeans[Y][8 + by], meanOfColumns(55, 109)) << by;
    }
    double samples = 0;
    for (double bin : frame->histogram[Y])
        samples += bin;
    // Every block column is 55 pixels wide here (x0 = 0, 55, 111, 166, 222,
    // 278, 333, 389), sampled 19 times, in 8 block rows of one sample row.
    EXPECT_EQ(samples, 8 * 19 * 8);
}

TEST(SamplingGrid, BlockEndIsDerivedFromTheBlockStart) {
    // 76 pixels: d = 9.5, block 1 starts at 9 and ends before 9 + 9.5 -> 18,
    // not before 2 * 9.5 = 19, so it samples 9, 12 and 15 in each direction.
    std::unique_ptr<Frame> frame(uniformFrame(76, 76, 0, 0, 0));
    for (int y = 0; y < 76; ++y)
        for (int x = 0; x < 76; ++x)
            luma(frame.get(), x, y) = static_cast<uint8_t>(x + 2 * y);
    frame->computeHistogram();
    EXPECT_DOUBLE_EQ(frame->blockMeans[Y][8 * 1 + 1], 12 + 2 * 12);
}

TEST(SamplingGrid, ChromaRowsUseHalfTheLumaStride) {
    std::unique_ptr<Frame> frame(uniformFrame(445, 16, 0, 0, 0));
    // Sample (55, 2) reads chroma index (1 * 445) / 2 + 27 = 249, one byte
    // before the true start of chroma row 1 plus 27 (223 + 27 = 250).
    frame->avFrame->data[1][249] = 190;
    frame->computeHistogram();
    // Block (1, 1) samples 19 columns of row 2; block (0, 1) also reads index
    // 249 at x = 54.
    EXPECT_DOUBLE_EQ(frame->blockMeans[U][8 * 1 + 1], 190.0 / 19);
    EXPECT_DOUBLE_EQ(frame->blockMeans[U][8 * 0 + 1], 190.0 / 19);
    EXPECT_DOUBLE_EQ(frame->blockMeans[U][8 * 2 + 1], 0.0);
    EXPECT_DOUBLE_EQ(frame->blockMeans[V][8 * 1 + 1], 0.0);
    EXPECT_EQ(frame->histogram[U][190 >> 4], 2);
}

TEST(SmallPictures, BlocksWithoutSamplesTakeThePixelNearestTheirCorner) {
    std::unique_ptr<Frame> frame(uniformFrame(4, 6, 0, 77, 99));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 4; ++x)
            luma(frame.get(), x, y) = static_cast<uint8_t>(10 * x + y);
    frame->computeHistogram();
    for (int bx = 0; bx < 8; ++bx)
        for (int by = 0; by < 8; ++by) {
            const int x = bx / 2;     // floor(bx * 0.5)
            const int y = by * 3 / 4; // floor(by * 0.75)
            EXPECT_EQ(frame->blockMeans[Y][8 * bx + by], 10 * x + y) << bx << " " << by;
            EXPECT_EQ(frame->blockMeans[U][8 * bx + by], 77);
            EXPECT_EQ(frame->blockMeans[V][8 * bx + by], 99);
        }
    EXPECT_EQ(frame->histogram[U][77 >> 4], 64);
}

TEST(SmallPictures, EveryDescriptorAndDistanceIsFinite) {
    std::unique_ptr<Frame> a(uniformFrame(3, 2, 40, 90, 160));
    std::unique_ptr<Frame> b(uniformFrame(7, 9, 200, 30, 60));
    std::unique_ptr<Frame> c(uniformFrame(1, 1, 255, 255, 255));
    for (Frame* f : {a.get(), b.get(), c.get()}) {
        EXPECT_TRUE(std::isfinite(f->getActivity()));
        EXPECT_TRUE(std::isfinite(f->getColorCount()));
        f->computeColorLayout();
        for (int ch = 0; ch < 3; ++ch)
            for (int k = 0; k < 64; ++k)
                ASSERT_TRUE(std::isfinite(f->colorLayout[ch][k]));
    }
    EXPECT_TRUE(std::isfinite(frameDifference(a.get(), b.get())));
    EXPECT_TRUE(std::isfinite(frameDifference(b.get(), c.get())));
    EXPECT_NEAR(frameDifference(a.get(), a.get()), 0.0, 1e-12);
}

TEST(SmallPictures, EightByEightSamplesOnePixelPerBlock) {
    std::unique_ptr<Frame> frame(uniformFrame(8, 8, 0, 128, 128));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            luma(frame.get(), x, y) = static_cast<uint8_t>(8 * x + y);
    frame->computeHistogram();
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(frame->blockMeans[Y][k], k);
    EXPECT_EQ(frame->histogram[U][8], 64);
}

TEST(Activity, ComparesEachChromaBlockWithItsLowerRightNeighbours) {
    std::unique_ptr<Frame> frame(describedFrame(0, 0, 0));
    frame->blockMeans[U][0] = 10;          // three differences of 10: 300
    frame->blockMeans[V][8 * 7 + 7] = 10;  // only the diagonal of (6, 6): 100
    frame->blockMeans[Y][8 * 3 + 3] = 200; // luma is not used
    EXPECT_DOUBLE_EQ(frame->getActivity(), 4.0);
    EXPECT_TRUE(frame->activityComputed);

    frame->blockMeans[U][0] = 0;
    EXPECT_DOUBLE_EQ(frame->getActivity(), 4.0);
}

TEST(ColourCount, CountsBinsAboveAQuarterOfEachPeakAndIsNotCached) {
    std::unique_ptr<Frame> frame(describedFrame(0, 0, 0));
    frame->histogram[Y][0] = 100;
    frame->histogram[Y][5] = 26;
    frame->histogram[Y][6] = 25; // not above a quarter of 100
    for (int k = 0; k < 4; ++k)
        frame->histogram[U][k] = 10;
    frame->histogram[V][15] = 1;
    EXPECT_DOUBLE_EQ(frame->getColorCount(), 7.0 / 3);

    frame->histogram[Y][6] = 30;
    EXPECT_DOUBLE_EQ(frame->getColorCount(), 8.0 / 3);
}

} // namespace

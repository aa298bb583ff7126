// A fragment's capacity, and the measures taken on whole fragments.

#include "FrameBuffer.h"
#include "SegmentDistanceMemo.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

using testframes::uniformFrame;

namespace {

TEST(FrameBuffer, AFullFragmentRefusesAFrame) {
    FrameBuffer fragment(25);
    for (int k = 0; k < 25; ++k)
        ASSERT_TRUE(fragment.addFrame(Frame{}));
    EXPECT_FALSE(fragment.addFrame(Frame{}));
    EXPECT_EQ(fragment.count(), 25);
}

struct Shade {
    uint8_t y, u, v;
};
constexpr Shade A{16, 128, 128};
constexpr Shade B{240, 16, 16};
constexpr Shade C{128, 60, 200};

// Frames told apart by their histograms alone (no colour layout): one busy
// bin in each channel. P and Q share the chroma bins, so their frame
// difference is 0.55 * (1 - 0.6) = 0.22; R shares no bin with either: 0.55.
Descriptors binned(int y, int uv) {
    Descriptors d;
    d.histogram[0][y] = 10;
    d.histogram[1][uv] = 10;
    d.histogram[2][uv] = 10;
    return d;
}
const Descriptors P = binned(0, 0);
const Descriptors Q = binned(1, 0);
const Descriptors R = binned(2, 1);

struct Fragment {
    Fragment() : buffer(25) {}
    void add(const Descriptors& d) {
        Frame frame;
        frame.descriptors = d;
        ASSERT_TRUE(buffer.addFrame(frame));
    }
    void add(Shade s, int n = 1) {
        for (int k = 0; k < n; ++k)
            ASSERT_TRUE(buffer.addFrame(uniformFrame(16, 16, s.y, s.u, s.v)));
    }
    FrameBuffer buffer;
};

TEST(SegmentDistance, ComparesEverySecondFrameBothWays) {
    Fragment one, three;
    one.add(P);
    // The middle frame equals the single frame but is not sampled. P's
    // nearest is Q (0.22), Q's P (0.22), R's P (0.55): 0.99 over 3.
    for (const Descriptors& d : {Q, P, R})
        three.add(d);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&one.buffer, &three.buffer), 0.33, 1e-12);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&three.buffer, &one.buffer), 0.33, 1e-12);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&three.buffer, &three.buffer), 0.0, 1e-12);
}

TEST(Variation, SamplesOnePairInFourAndTheEnds) {
    // The sampled pairs (0, 1), (4, 5) ... (20, 21) are each P and Q, 0.22
    // apart, and the ends P and R, 0.55 apart: 0.6 of 0.55 and 0.4 of 0.22.
    Fragment fragment;
    for (int k = 0; k < 25; ++k)
        fragment.add(k == 24 ? R : k % 4 == 1 ? Q : P);
    EXPECT_NEAR(fragment.buffer.getVariation(), 0.418, 1e-12);
    EXPECT_NEAR(fragment.buffer.maxPairDifference, 0.22, 1e-12);
}

TEST(StrongChange, FollowsTheEndsThePairsAndTheirCombination) {
    struct Shaded {
        std::vector<std::pair<Shade, int>> runs; // a shade, and how many frames of it
        bool strong;
    };
    // Steady; different ends; a flash between equal ends.
    for (const Shaded& c : {Shaded{{{B, 25}}, false}, Shaded{{{A, 24}, {C, 1}}, true},
                            Shaded{{{A, 1}, {B, 1}, {A, 23}}, true}}) {
        Fragment fragment;
        for (const auto& [shade, count] : c.runs)
            fragment.add(shade, count);
        EXPECT_EQ(fragment.buffer.hasStrongChange(), c.strong) << c.runs.size() << " runs";
    }
    // Measures set directly, on two frames whose colour layouts differ only
    // in the luma DC term: by 43 the ends are 0.204 apart, by 42 0.199.
    struct Set {
        double variation, maxPair, lumaDcStep;
        bool strong;
    };
    for (const Set& c : {Set{0, 0.25, 0, true}, Set{0, 0.2499, 0, false},
                         Set{0.0499, 0.245, 0, true}, Set{0, 0, 43, true}, Set{0, 0, 42, false}}) {
        Fragment fragment;
        for (double dc : {0.0, c.lumaDcStep}) {
            Descriptors d;
            for (int ch = 0; ch < 3; ++ch)
                d.histogram[ch][0] = 10;
            d.colorLayout[0][0] = dc;
            fragment.add(d);
        }
        FrameBuffer& b = fragment.buffer;
        b.variationComputed = b.maxDifferenceComputed = true;
        b.variation = c.variation;
        b.maxPairDifference = c.maxPair;
        EXPECT_EQ(b.hasStrongChange(), c.strong)
            << c.variation << " " << c.maxPair << " " << c.lumaDcStep;
    }
}

TEST(SampledMeasures, LeastActivityAndMeanColourCountOfFrames0And10And20) {
    struct Case {
        int frames;
        double f0, f10, f20, others, least, mean; // activities and colour counts
    };
    // Every frame not sampled has a value that would win if it were.
    for (const Case& c :
         {Case{25, 5, 3, 7, 1, 3, 5}, Case{25, 1, 2, 6, 16, 1, 3}, Case{12, 4, 2, 0, 9, 2, 3}}) {
        Fragment fragment;
        for (int k = 0; k < c.frames; ++k) {
            Descriptors d;
            d.activity = k == 0 ? c.f0 : k == 10 ? c.f10 : k == 20 ? c.f20 : c.others;
            // n busy bins of equal height in each channel give a colour count of n.
            for (int ch = 0; ch < 3; ++ch)
                for (int b = 0; b < static_cast<int>(d.activity); ++b)
                    d.histogram[ch][b] = 10;
            fragment.add(d);
        }
        EXPECT_EQ(fragment.buffer.getMinActivity(), c.least);
        EXPECT_DOUBLE_EQ(fragment.buffer.getMeanColorCount(), c.mean);
    }
}

// A fragment named by its first frame's number and its frame count.
std::unique_ptr<FrameBuffer> namedFragment(double firstFrame, int frames) {
    auto fragment = std::make_unique<FrameBuffer>(frames);
    for (int k = 0; k < frames; ++k) {
        Frame frame;
        frame.frameNumber = firstFrame + k;
        fragment->addFrame(std::move(frame));
    }
    return fragment;
}

TEST(SegmentDistanceMemo, KeepsEveryPairThroughGrowthUntilFullAndNeverMixesPairsUp) {
    constexpr int kPairs = 20000;
    SegmentDistanceMemo memo(kPairs);
    std::vector<std::unique_ptr<FrameBuffer>> fragments;
    fragments.push_back(namedFragment(-25.0, 25));      // cannot be named: never kept
    fragments.push_back(namedFragment(67108864.0, 25)); // nor a first frame past 2^26
    fragments.push_back(namedFragment(0.0, 24)); // the next one's first frame, one frame less
    for (int i = 0; i < 200; ++i)
        fragments.push_back(namedFragment(25.0 * i, 25));
    const auto distanceOf = [](size_t a, size_t b) { return a * 1000.0 + b + 0.5; };
    for (size_t a = 0; a < fragments.size(); ++a)
        for (size_t b = 0; b < fragments.size(); ++b)
            memo.keep(*fragments[a], *fragments[b], distanceOf(a, b));
    EXPECT_EQ(memo.size(), static_cast<size_t>(kPairs));
    size_t found = 0;
    for (size_t a = 0; a < fragments.size(); ++a)
        for (size_t b = 0; b < fragments.size(); ++b)
            if (const std::optional<double> d = memo.find(*fragments[a], *fragments[b])) {
                ++found;
                ASSERT_EQ(*d, distanceOf(a, b)) << a << " " << b;
            }
    EXPECT_EQ(found, static_cast<size_t>(kPairs));
    EXPECT_FALSE(memo.find(*fragments[3], *fragments[0]));
    EXPECT_FALSE(memo.find(*fragments[3], *fragments[1]));
}

} // namespace

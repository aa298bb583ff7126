// The frame list, and the measures taken on whole fragments.

#include "FrameBuffer.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

using testframes::describedFrame;
using testframes::uniformFrame;

namespace {

// Frames without pictures: the buffer only moves pointers.
std::vector<Frame*> fill(FrameBuffer& buffer, int n) {
    std::vector<Frame*> frames;
    for (int k = 0; k < n; ++k) {
        frames.push_back(new Frame());
        EXPECT_TRUE(buffer.addFrame(frames.back()));
    }
    return frames;
}

std::vector<Frame*> listOf(const FrameBuffer& buffer) {
    std::vector<Frame*> frames;
    for (Frame* f = buffer.first; f != nullptr; f = f->next)
        frames.push_back(f);
    return frames;
}

TEST(FrameBuffer, AFullBufferRefusesAFrameAndTheTableIndexesOnlyWhatItHolds) {
    FrameBuffer fragment(25);
    fill(fragment, 25);
    Frame extra;
    EXPECT_FALSE(fragment.addFrame(&extra));
    EXPECT_EQ(fragment.count, 25);
    EXPECT_EQ(fragment.last->next, nullptr);
    EXPECT_EQ(listOf(fragment).size(), 25u);

    // Beyond the table's 3000 entries the list goes on alone.
    FrameBuffer playback(5000);
    const std::vector<Frame*> frames = fill(playback, 3001);
    EXPECT_EQ(playback.last, frames[3000]);
    EXPECT_EQ(playback.frameTable[2999], frames[2999]);
    for (Frame* entry : playback.frameTable)
        ASSERT_NE(entry, frames[3000]);
}

TEST(FrameBuffer, FramesComeOutInTheOrderAddedThroughEmptyingRefillingAndRotating) {
    FrameBuffer buffer(5);
    std::vector<Frame*> frames = fill(buffer, 5);
    EXPECT_EQ(listOf(buffer), frames);
    EXPECT_EQ(frames[3]->prev, frames[2]);
    for (Frame* expected : frames) {
        std::unique_ptr<Frame> taken(buffer.getFrame());
        EXPECT_EQ(taken.get(), expected);
    }
    EXPECT_EQ(buffer.getFrame(), nullptr);

    frames = fill(buffer, 5);
    EXPECT_EQ(frames[0]->prev, nullptr);
    EXPECT_EQ(buffer.frameTable[0], frames[0]);
    for (int k = 0; k < 5; ++k)
        ASSERT_TRUE(buffer.addFrame(buffer.getFrame()));
    EXPECT_EQ(listOf(buffer), frames);
    EXPECT_EQ(buffer.last, frames[4]);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(buffer.frameTable[k], frames[k]) << k;
}

struct Shade {
    uint8_t y, u, v;
};
constexpr Shade A{16, 128, 128};
constexpr Shade B{240, 16, 16};
constexpr Shade C{128, 60, 200};

// Difference of two shades, measured on frames of their own.
double difference(Shade a, Shade b) {
    std::unique_ptr<Frame> fa(uniformFrame(16, 16, a.y, a.u, a.v));
    std::unique_ptr<Frame> fb(uniformFrame(16, 16, b.y, b.u, b.v));
    return frameDifference(fa.get(), fb.get());
}

// A fragment that frees its frames when the test ends.
struct Fragment {
    Fragment() : buffer(25) {}
    void add(Frame* frame) { ASSERT_TRUE(buffer.addFrame(frame)); }
    void add(Shade s, int n = 1) {
        for (int k = 0; k < n; ++k)
            add(uniformFrame(16, 16, s.y, s.u, s.v));
    }
    FrameBuffer buffer;
};

TEST(SegmentDistance, ComparesEverySecondFrameBothWays) {
    Fragment one, three;
    one.add(A);
    // The middle frame equals the single frame but is not sampled.
    for (Shade s : {B, A, C})
        three.add(s);
    const double ab = difference(A, B);
    const double ac = difference(A, C);
    const double expected = (std::min(ab, ac) + ab + ac) / 3;
    EXPECT_NEAR(FrameBuffer::segmentDistance(&one.buffer, &three.buffer), expected, 1e-12);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&three.buffer, &one.buffer), expected, 1e-12);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&three.buffer, &three.buffer), 0.0, 1e-12);
}

TEST(Variation, SamplesOnePairInFourAndTheEnds) {
    Fragment fragment;
    for (int k = 0; k < 25; ++k)
        fragment.add(k == 24 ? C : k % 4 == 1 ? B : A);
    const double variation = fragment.buffer.getVariation();
    const double ab = difference(A, B);
    EXPECT_NEAR(variation, 0.6 * difference(A, C) + 0.4 * ab, 1e-12);
    EXPECT_NEAR(fragment.buffer.maxPairDifference, ab, 1e-12);
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
            Frame* frame = describedFrame();
            for (int ch = 0; ch < 3; ++ch)
                frame->histogram[ch][0] = 10;
            frame->colorLayoutComputed = true;
            frame->colorLayout[0][0] = dc;
            fragment.add(frame);
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
            Frame* frame = describedFrame();
            frame->activity = k == 0 ? c.f0 : k == 10 ? c.f10 : k == 20 ? c.f20 : c.others;
            frame->activityComputed = true;
            // n busy bins of equal height in each channel give a colour count of n.
            for (int ch = 0; ch < 3; ++ch)
                for (int b = 0; b < static_cast<int>(frame->activity); ++b)
                    frame->histogram[ch][b] = 10;
            fragment.add(frame);
        }
        EXPECT_EQ(fragment.buffer.getMinActivity(), c.least);
        EXPECT_DOUBLE_EQ(fragment.buffer.getMeanColorCount(), c.mean);
    }
}

} // namespace

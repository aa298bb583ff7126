#include "FrameBuffer.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

using testframes::describedFrame;
using testframes::uniformFrame;

namespace {

struct Shade {
    uint8_t y, u, v;
};
constexpr Shade A{16, 128, 128};
constexpr Shade B{240, 16, 16};
constexpr Shade C{128, 60, 200};

// Difference of two shades, measured on frames of their own so that the
// fragments under test keep their descriptors uncomputed.
double difference(Shade a, Shade b) {
    std::unique_ptr<Frame> fa(uniformFrame(16, 16, a.y, a.u, a.v));
    std::unique_ptr<Frame> fb(uniformFrame(16, 16, b.y, b.u, b.v));
    return frameDifference(fa.get(), fb.get());
}

// A fragment that frees its frames when the test ends.
struct Fragment {
    explicit Fragment(int number = 0) : buffer(25) { buffer.number = number; }
    void add(Frame* frame) { ASSERT_TRUE(buffer.addFrame(frame)); }
    void add(Shade s, int n = 1) {
        for (int k = 0; k < n; ++k)
            add(uniformFrame(16, 16, s.y, s.u, s.v));
    }
    // Positions of the frames whose descriptors were computed.
    std::set<int> described() const {
        std::set<int> positions;
        for (int k = 0; k < buffer.count; ++k)
            if (buffer.frameTable[k]->histogramComputed)
                positions.insert(k);
        return positions;
    }
    FrameBuffer buffer;
};

TEST(ComparisonList, APairIsStoredOnceInTheLaterFragmentWhileInReach) {
    struct Case {
        int setOn; // number of the fragment setComparison is called on
        int other;
        bool stored;
    };
    for (const Case& c : {Case{7, 3, true}, Case{3, 7, true}, Case{2002, 3, true},
                          Case{5, 5, false}, Case{2005, 3, false}, Case{3, 2005, false}}) {
        SCOPED_TRACE(testing::Message() << c.setOn << " and " << c.other);
        Fragment on(c.setOn), other(c.other);
        FrameBuffer* a = &on.buffer;
        FrameBuffer* b = &other.buffer;
        const double unset = c.setOn == c.other ? 0.0 : -1.0;
        EXPECT_EQ(FrameBuffer::getComparison(a, b), unset);
        EXPECT_EQ(a->setComparison(b, 0.4), c.stored && c.setOn > c.other);
        EXPECT_EQ(FrameBuffer::getComparison(a, b), c.stored ? 0.4 : unset);
        EXPECT_EQ(FrameBuffer::getComparison(b, a), c.stored ? 0.4 : unset);
        for (const FrameBuffer* f : {a, b}) {
            int valid = 0;
            for (const ComparisonEntry& entry : f->comparisonList)
                valid += entry.valid;
            EXPECT_EQ(valid, c.stored && f->number == std::max(c.setOn, c.other) ? 1 : 0);
        }
    }
}

TEST(SegmentDistance, ComparesEverySecondFrameBothWays) {
    Fragment one, three, empty, alsoEmpty;
    one.add(A);
    // The middle frame equals the single frame but is not sampled.
    for (Shade s : {B, A, C})
        three.add(s);
    const double ab = difference(A, B);
    const double ac = difference(A, C);
    const double expected = (std::min(ab, ac) + ab + ac) / 3;
    EXPECT_NEAR(FrameBuffer::segmentDistance(&one.buffer, &three.buffer), expected, 1e-12);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&three.buffer, &one.buffer), expected, 1e-12);
    EXPECT_EQ(three.described(), (std::set<int>{0, 2}));
    EXPECT_NEAR(FrameBuffer::segmentDistance(&three.buffer, &three.buffer), 0.0, 1e-12);
    // An empty fragment is far from everything, itself included.
    EXPECT_EQ(FrameBuffer::segmentDistance(&empty.buffer, &one.buffer), 99999.0);
    EXPECT_EQ(FrameBuffer::segmentDistance(&one.buffer, &empty.buffer), 99999.0);
    EXPECT_EQ(FrameBuffer::segmentDistance(&empty.buffer, &alsoEmpty.buffer), 99999.0);
}

TEST(Variation, SamplesOnePairInFourAndTheEnds) {
    Fragment fragment;
    for (int k = 0; k < 25; ++k)
        fragment.add(k == 24 ? C : k % 4 == 1 ? B : A);
    const double variation = fragment.buffer.getVariation();
    EXPECT_EQ(fragment.described(), (std::set<int>{0, 1, 4, 5, 8, 9, 12, 13, 16, 17, 20, 21, 24}));
    const double ab = difference(A, B);
    EXPECT_NEAR(variation, 0.6 * difference(A, C) + 0.4 * ab, 1e-12);
    EXPECT_NEAR(fragment.buffer.maxPairDifference, ab, 1e-12);
}

TEST(SegmentMeasures, EmptyAndSingleFrameFragmentsMeasureZero) {
    Fragment empty, single;
    single.add(C);
    for (Fragment* f : {&empty, &single}) {
        EXPECT_EQ(f->buffer.getVariation(), 0.0);
        EXPECT_EQ(f->buffer.maxPairDifference, 0.0);
        EXPECT_FALSE(f->buffer.hasStrongChange());
    }
    EXPECT_EQ(empty.buffer.getMinActivity(), 0.0);
    EXPECT_EQ(empty.buffer.getMeanColorCount(), 0.0);
}

TEST(StrongChange, FollowsTheEndsThePairsAndTheirCombination) {
    // Measures set directly: the combined variation and largest pair
    // difference, with ends that do not differ.
    const auto set = [](Fragment& f, double variation, double maxPair) {
        f.buffer.variationComputed = f.buffer.maxDifferenceComputed = true;
        f.buffer.variation = variation;
        f.buffer.maxPairDifference = maxPair;
    };
    const auto measures = [&](double variation, double maxPair) {
        return [=](Fragment& f) {
            f.add(A, 2);
            set(f, variation, maxPair);
        };
    };
    // Ends that differ only in the luma DC term, by 43 (0.204 apart) or 42 (0.199).
    const auto ends = [&](double lumaDcStep) {
        return [=](Fragment& f) {
            for (double dc : {0.0, lumaDcStep}) {
                Frame* frame = describedFrame(0, 0, 0);
                for (int c = 0; c < 3; ++c)
                    frame->histogram[c][0] = 10;
                frame->colorLayoutComputed = true;
                frame->colorLayout[0][0] = dc;
                f.add(frame);
            }
            set(f, 0.0, 0.0);
        };
    };
    struct Case {
        const char* what;
        std::function<void(Fragment&)> build;
        bool strong;
    };
    for (const Case& c : {
             Case{"steady", [](Fragment& f) { f.add(B, 25); }, false},
             Case{"different ends", [](Fragment& f) {
                  f.add(A, 24);
                  f.add(C);
              }, true},
             Case{"a flash between equal ends",
                  [](Fragment& f) {
                      f.add(A);
                      f.add(B);
                      f.add(A, 23);
                  },
                  true},
             Case{"combined a quarter", measures(0.0, 0.25), true},
             Case{"combined just under", measures(0.0, 0.2499), false},
             Case{"combined with the variation", measures(0.0499, 0.245), true},
             Case{"ends more than 0.2 apart", ends(43), true},
             Case{"ends less than 0.2 apart", ends(42), false}}) {
        Fragment fragment;
        c.build(fragment);
        EXPECT_EQ(fragment.buffer.hasStrongChange(), c.strong) << c.what;
    }
}

TEST(SampledMeasures, LeastActivityAndMeanColourCountOfFrames0And10And20) {
    struct Case {
        int frames;
        double f0, f10, f20, others; // each frame's activity and colour count
        double least, mean;
    };
    // Every frame not sampled has a value that would win if it were.
    for (const Case& c : {Case{25, 5, 3, 7, 1, 3, 5}, Case{25, 1, 2, 6, 16, 1, 3},
                          Case{12, 4, 2, 0, 9, 2, 3}}) {
        Fragment fragment;
        for (int k = 0; k < c.frames; ++k) {
            Frame* frame = describedFrame(0, 0, 0);
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

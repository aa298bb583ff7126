#include "FrameBuffer.h"
#include "TestFrames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>

using testframes::describedFrame;
using testframes::uniformFrame;

namespace {

struct Shade {
    uint8_t y, u, v;
};
constexpr Shade A{16, 128, 128};
constexpr Shade B{240, 16, 16};
constexpr Shade C{128, 60, 200};

Frame* shaded(Shade s) {
    return uniformFrame(16, 16, s.y, s.u, s.v);
}

// Difference of two shades, measured on frames of their own so that the
// fragments under test keep their descriptors uncomputed.
double difference(Shade a, Shade b) {
    std::unique_ptr<Frame> fa(shaded(a));
    std::unique_ptr<Frame> fb(shaded(b));
    return frameDifference(fa.get(), fb.get());
}

// A fragment that frees its frames when the test ends.
struct Fragment {
    explicit Fragment(int number = 0) : buffer(25) { buffer.number = number; }
    ~Fragment() { buffer.deleteAllFrames(); }
    void add(Frame* frame) { ASSERT_TRUE(buffer.addFrame(frame)); }
    void add(Shade s, int n = 1) {
        for (int k = 0; k < n; ++k)
            add(shaded(s));
    }
    std::set<int> described() const {
        std::set<int> positions;
        for (int k = 0; k < buffer.count; ++k)
            if (buffer.frameTable[k]->histogramComputed)
                positions.insert(k);
        return positions;
    }
    FrameBuffer buffer;
};

TEST(ComparisonList, PairIsStoredInTheBufferWithTheLargerNumber) {
    Fragment seven(7), three(3);
    EXPECT_EQ(FrameBuffer::getComparison(&seven.buffer, &three.buffer), -1.0);
    EXPECT_EQ(FrameBuffer::getComparison(&three.buffer, &seven.buffer), -1.0);

    EXPECT_FALSE(three.buffer.setComparison(&seven.buffer, 0.2));
    EXPECT_EQ(seven.buffer.comparisonList[4].valid, 1);
    EXPECT_EQ(seven.buffer.comparisonList[4].value, 0.2);
    EXPECT_EQ(three.buffer.comparisonList[4].valid, 0);
    EXPECT_EQ(FrameBuffer::getComparison(&seven.buffer, &three.buffer), 0.2);
    EXPECT_EQ(FrameBuffer::getComparison(&three.buffer, &seven.buffer), 0.2);

    EXPECT_TRUE(seven.buffer.setComparison(&three.buffer, 0.3));
    EXPECT_EQ(FrameBuffer::getComparison(&three.buffer, &seven.buffer), 0.3);
}

TEST(ComparisonList, EqualNumbersCompareAsZeroAndStoreNothing) {
    Fragment one(5), other(5);
    EXPECT_EQ(FrameBuffer::getComparison(&one.buffer, &other.buffer), 0.0);
    EXPECT_FALSE(one.buffer.setComparison(&other.buffer, 0.7));
    EXPECT_EQ(one.buffer.comparisonList[0].valid, 0);
    EXPECT_EQ(other.buffer.comparisonList[0].valid, 0);
}

TEST(ComparisonList, LastStorableDistanceIs1999) {
    Fragment late(2002), early(3);
    EXPECT_TRUE(late.buffer.setComparison(&early.buffer, 0.5));
    EXPECT_EQ(late.buffer.comparisonList[1999].valid, 1);
    EXPECT_EQ(FrameBuffer::getComparison(&early.buffer, &late.buffer), 0.5);
}

TEST(ComparisonList, TooDistantPairIsReportedAndNotStored) {
    Fragment late(2005), early(3);
    const std::string getMessage = "\nComparison Difference: 2002 [n1:2005 n2:3]"
                                   "\nWARNING(FrameBuffer::getComparison) : SMALL COMPARISON LIST "
                                   "SIZE 2";
    for (auto [a, b] : {std::pair{&late, &early}, std::pair{&early, &late}}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(FrameBuffer::getComparison(&a->buffer, &b->buffer), -1.0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), getMessage);

        testing::internal::CaptureStdout();
        EXPECT_FALSE(a->buffer.setComparison(&b->buffer, 0.4));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "\nWARNING(FrameBuffer::setComparison) : SMALL COMPARISON LIST SIZE 1");
    }
    for (const ComparisonEntry& entry : late.buffer.comparisonList)
        ASSERT_EQ(entry.valid, 0);
    for (const ComparisonEntry& entry : early.buffer.comparisonList)
        ASSERT_EQ(entry.valid, 0);
}

TEST(SegmentDistance, FragmentIsAtDistanceZeroFromItself) {
    Fragment fragment;
    for (Shade s : {A, B, C, A, B})
        fragment.add(s);
    EXPECT_NEAR(FrameBuffer::segmentDistance(&fragment.buffer, &fragment.buffer), 0.0, 1e-12);
}

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
    EXPECT_EQ(three.described(), (std::set<int>{0, 2}));
}

TEST(SegmentMeasures, AnEmptyFragmentIsFarFromEverythingAndMeasuresZero) {
    Fragment empty, other, alsoEmpty;
    other.add(A, 3);
    EXPECT_EQ(FrameBuffer::segmentDistance(&empty.buffer, &other.buffer), 99999.0);
    EXPECT_EQ(FrameBuffer::segmentDistance(&other.buffer, &empty.buffer), 99999.0);
    EXPECT_EQ(FrameBuffer::segmentDistance(&empty.buffer, &alsoEmpty.buffer), 99999.0);
    EXPECT_EQ(empty.buffer.getVariation(), 0.0);
    EXPECT_FALSE(empty.buffer.hasStrongChange());
    EXPECT_EQ(empty.buffer.getMinActivity(), 0.0);
    EXPECT_EQ(empty.buffer.getMeanColorCount(), 0.0);
    EXPECT_TRUE(empty.buffer.colorCountComputed);
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
    EXPECT_TRUE(fragment.buffer.variationComputed);
    EXPECT_TRUE(fragment.buffer.maxDifferenceComputed);
}

TEST(Variation, IsCached) {
    Fragment fragment;
    fragment.add(A);
    fragment.add(B);
    const double first = fragment.buffer.getVariation();
    fragment.buffer.frameTable[1]->histogram[0][15] = 0;
    EXPECT_EQ(fragment.buffer.getVariation(), first);
}

TEST(Variation, SingleFrameHasNoVariationAndNoStrongChange) {
    Fragment fragment;
    fragment.add(C);
    EXPECT_EQ(fragment.buffer.getVariation(), 0.0);
    EXPECT_EQ(fragment.buffer.maxPairDifference, 0.0);
    EXPECT_FALSE(fragment.buffer.hasStrongChange());
}

TEST(StrongChange, SteadyFragmentHasNone) {
    Fragment fragment;
    fragment.add(B, 25);
    EXPECT_FALSE(fragment.buffer.hasStrongChange());
}

TEST(StrongChange, DifferentEndsAreAStrongChange) {
    Fragment fragment;
    fragment.add(A, 24);
    fragment.add(C);
    ASSERT_GT(difference(A, C), 0.2);
    EXPECT_TRUE(fragment.buffer.hasStrongChange());
}

TEST(StrongChange, AFlashBetweenEqualEndsIsAStrongChange) {
    Fragment fragment;
    fragment.add(A);
    fragment.add(B);
    fragment.add(A, 23);
    EXPECT_TRUE(fragment.buffer.hasStrongChange());
}

TEST(StrongChange, CombinedVariationOfAQuarterIsAStrongChange) {
    Fragment fragment;
    fragment.add(A);
    FrameBuffer& buffer = fragment.buffer;
    buffer.variationComputed = buffer.maxDifferenceComputed = true;
    buffer.variation = 0.0;
    buffer.maxPairDifference = 0.25;
    EXPECT_TRUE(buffer.hasStrongChange());
    buffer.maxPairDifference = 0.2499;
    EXPECT_FALSE(buffer.hasStrongChange());
    buffer.variation = 0.0499;
    buffer.maxPairDifference = 0.245;
    EXPECT_TRUE(buffer.hasStrongChange());
}

// Two frames that differ only in the luma DC term of their colour layout.
bool strongChangeOfEnds(double lumaDcStep) {
    Fragment fragment;
    for (double dc : {0.0, lumaDcStep}) {
        Frame* frame = describedFrame(0, 0, 0);
        for (int c = 0; c < 3; ++c)
            frame->histogram[c][0] = 10;
        frame->colorLayoutComputed = true;
        frame->colorLayout[0][0] = dc;
        fragment.add(frame);
    }
    FrameBuffer& buffer = fragment.buffer;
    const double ends = frameDifference(buffer.first, buffer.last);
    EXPECT_NEAR(ends, 0.45 * 0.3 * std::sqrt(0.4) * lumaDcStep / 18, 1e-12);
    buffer.variationComputed = buffer.maxDifferenceComputed = true;
    buffer.variation = buffer.maxPairDifference = 0.0;
    return buffer.hasStrongChange();
}

TEST(StrongChange, EndsMoreThanPoint2ApartAreAStrongChange) {
    EXPECT_TRUE(strongChangeOfEnds(43));  // ends 0.2040 apart
    EXPECT_FALSE(strongChangeOfEnds(42)); // ends 0.1992 apart
}

// Frames 0, 10 and 20 get the given values; every other frame a value that
// would win if it were sampled.
void describedFragment(Fragment& fragment, double f0, double f10, double f20, double others) {
    for (int k = 0; k < 25; ++k) {
        Frame* frame = describedFrame(0, 0, 0);
        frame->activity = k == 0 ? f0 : k == 10 ? f10 : k == 20 ? f20 : others;
        frame->activityComputed = true;
        // n busy bins of equal height in each channel give a colour count of n.
        const int busy = static_cast<int>(frame->activity);
        for (int c = 0; c < 3; ++c)
            for (int b = 0; b < busy; ++b)
                frame->histogram[c][b] = 10;
        fragment.add(frame);
    }
}

TEST(MinActivity, LeastOfFrames0And10And20) {
    Fragment fragment;
    describedFragment(fragment, 5, 3, 7, 1);
    EXPECT_EQ(fragment.buffer.getMinActivity(), 3.0);
    EXPECT_TRUE(fragment.buffer.minActivityComputed);
    fragment.buffer.frameTable[10]->activity = 2;
    EXPECT_EQ(fragment.buffer.getMinActivity(), 3.0);
}

TEST(MinActivity, DescribesOnlyTheSampledFrames) {
    Fragment fragment;
    fragment.add(A, 25);
    EXPECT_EQ(fragment.buffer.getMinActivity(), 0.0);
    EXPECT_EQ(fragment.described(), (std::set<int>{0, 10, 20}));
}

TEST(MeanColourCount, MeanOfFrames0And10And20) {
    Fragment fragment;
    describedFragment(fragment, 1, 2, 6, 16);
    EXPECT_DOUBLE_EQ(fragment.buffer.getMeanColorCount(), 3.0);
    EXPECT_TRUE(fragment.buffer.colorCountComputed);
    fragment.buffer.frameTable[0]->histogram[0][9] = 10;
    EXPECT_DOUBLE_EQ(fragment.buffer.getMeanColorCount(), 3.0);
}

TEST(MeanColourCount, DescribesOnlyTheSampledFramesOfAShortFragment) {
    Fragment fragment;
    fragment.add(A, 12);
    EXPECT_DOUBLE_EQ(fragment.buffer.getMeanColorCount(), 1.0);
    EXPECT_EQ(fragment.described(), (std::set<int>{0, 10}));
}

} // namespace

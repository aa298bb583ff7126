#include "FrameBuffer.h"
#include "SummaryTree.h"
#include "TreeTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(RetireDecidedFragment, AKeptFragmentKeepsItsDescriptorsWithoutPictures) {
    FrameBuffer* fragment = makeFragment(25, 0.1);
    fragment->number = 5;
    setDistance(fragment, 5, 2, 0.3);
    retireDecidedFragment(fragment, true);

    ASSERT_EQ(fragment->count, 25);
    for (Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
        EXPECT_EQ(frame->mode, HISTOGRAM_MODE);
        EXPECT_TRUE(frame->histogramComputed);
    }
    EXPECT_FALSE(fragment->comparisonList.allocated());
    // Later fragments still measure their distance to it.
    FrameBuffer* later = makeFragment(25, 0.1);
    later->number = 6;
    EXPECT_GE(FrameBuffer::segmentDistance(later, fragment), 0.0);

    for (FrameBuffer* f : {fragment, later}) {
        f->deleteAllFrames();
        delete f;
    }
}

TEST(RetireDecidedFragment, ALeftOutFragmentKeepsOnlyItsRecord) {
    FrameBuffer* fragment = makeFragment(25, 0.1);
    fragment->number = 5;
    setDistance(fragment, 5, 2, 0.3);
    retireDecidedFragment(fragment, false);

    EXPECT_EQ(fragment->count, 0);
    EXPECT_EQ(fragment->length, 25);
    EXPECT_FALSE(fragment->comparisonList.allocated());
    EXPECT_EQ(std::as_const(fragment->comparisonList)[3].valid, 0);
    delete fragment;
}

} // namespace

// Fragments read ahead on a thread of their own: the same fragments in the
// same order, the end and a failure where the source had them, and a reader
// left early never keeps its caller waiting.

#include "FrameBuffer.h"
#include "ReadAheadFragments.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// Fragments of 25 frames numbered from 0, then the end, or a failure.
class CountingSource final : public FragmentSource {
public:
    CountingSource(int fragments, bool failAtEnd) : total(fragments), fail(failAtEnd) {}
    std::unique_ptr<FrameBuffer> nextFragment() override {
        if (made == total) {
            if (fail)
                throw std::runtime_error("damaged");
            return nullptr;
        }
        auto fragment = std::make_unique<FrameBuffer>(fragmentCapacity);
        for (int i = 0; i < fragmentCapacity; ++i) {
            Frame frame;
            frame.frameNumber = made * fragmentCapacity + i;
            fragment->addFrame(frame);
        }
        fragment->length = fragment->count();
        ++made;
        return fragment;
    }
    int64_t picturesRead() const override { return 0; }
    double frameRate() const override { return 25.0; }

private:
    const int total;
    const bool fail;
    int made = 0;
};

TEST(ReadAhead, GivesTheSourcesFragmentsInOrderThenItsEndOrFailure) {
    struct Case {
        int fragments;
        bool fail;
        int taken; // then left
    };
    for (const Case c : {Case{0, false, 1}, Case{1, false, 2}, Case{40, false, 41},
                         Case{40, true, 41}, Case{40, false, 2}, Case{3, true, 0}}) {
        SCOPED_TRACE(testing::Message() << c.fragments << " fragments, taking " << c.taken);
        CountingSource source(c.fragments, c.fail);
        ReadAheadFragments ahead(source, 4);
        for (int k = 0; k < c.taken; ++k) {
            if (k < c.fragments) {
                const std::unique_ptr<FrameBuffer> fragment = ahead.nextFragment();
                ASSERT_TRUE(fragment);
                EXPECT_EQ(fragment->first().frameNumber, k * 25);
            } else if (c.fail) {
                EXPECT_THROW(ahead.nextFragment(), std::runtime_error);
            } else {
                EXPECT_FALSE(ahead.nextFragment());
                EXPECT_FALSE(ahead.nextFragment());
            }
        }
    }
}

} // namespace

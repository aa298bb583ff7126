// Fragments read ahead on a thread of their own: the same fragments in the
// same order, the end and a failure where the source had them, and a reader
// left early never keeps its caller waiting; stored chunks checked whole
// before the first fragment.

#include "FrameBuffer.h"
#include "FrameChunk.h"
#include "ReadAheadFragments.h"
#include "StoredFragments.h"

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

// Stored chunks are checked on two threads before the first fragment: one
// damaged chunk, wherever it is, refuses them all.
TEST(StoredFragments, ChunksAreTakenWholeOrNotAtAllWhereverTheDamageIs) {
    constexpr int kChunks = 5;
    constexpr int kFrames = 30; // fragments run across the chunks' ends
    for (int damaged = -1; damaged < kChunks; ++damaged) {
        SCOPED_TRACE(damaged);
        std::vector<StoredChunk> chunks;
        FrameChunkWriter writer;
        for (int c = 0; c < kChunks; ++c) {
            for (int i = 0; i < kFrames; ++i) {
                Frame frame;
                frame.frameNumber = c * kFrames + i;
                frame.frameTime = frame.frameNumber / 25.0;
                ASSERT_TRUE(writer.add(frame));
            }
            chunks.push_back({int64_t{c} * kFrames, kFrames, writer.finish(), {}, {}});
        }
        // A chunk that does not hold what its row says.
        if (damaged >= 0)
            chunks[damaged].frames -= 1;
        const std::unique_ptr<StoredFragments> stored =
            StoredFragments::fromChunks(std::move(chunks), 25.0);
        ASSERT_EQ(stored == nullptr, damaged >= 0);
        if (!stored)
            continue;
        for (int f = 0; f < kChunks * kFrames / 25; ++f) {
            const std::unique_ptr<FrameBuffer> fragment = stored->nextFragment();
            ASSERT_TRUE(fragment);
            EXPECT_EQ(fragment->first().frameNumber, 25 * f);
            EXPECT_EQ(fragment->count(), 25);
        }
        EXPECT_FALSE(stored->nextFragment());
    }
}

} // namespace

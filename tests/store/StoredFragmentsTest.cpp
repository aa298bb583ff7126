// Stored chunks checked whole before the first fragment is read from them.

#include "StoredFragments.h"
#include "FrameBuffer.h"
#include "FrameChunk.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

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

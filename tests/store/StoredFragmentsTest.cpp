// Stored chunks checked whole before the first fragment is read from them.

#include "StoredFragments.h"
#include "Compressed.h"
#include "FrameBuffer.h"
#include "FrameChunk.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Stored chunks are checked on two threads before the first fragment: one
// damaged chunk, wherever it is, refuses them all.
TEST(StoredFragments, ChunksAreTakenWholeOrNotAtAllWhereverTheDamageIs) {
    constexpr int kChunks = 5;
    constexpr int kFrames = 30; // fragments run across the chunks' ends
    const struct {
        const char* what;
        std::function<void(StoredChunk&)> damage;
    } cases[] = {
        {"none", nullptr},
        // A chunk that does not hold what its row says.
        {"frames miscounted", [](StoredChunk& chunk) { chunk.frames -= 1; }},
        // Whole and checksummed, but its descriptors in another encoding
        // than the reader's (the byte after the chunk's own format).
        {"another descriptor encoding",
         [](StoredChunk& chunk) {
             std::string raw;
             ASSERT_TRUE(decompressChecked(chunk.descriptors, 1 << 20, &raw));
             raw[1] = static_cast<char>(Descriptors::ENCODING_VERSION + 1);
             chunk.descriptors = compressChecked(raw, 3);
         }},
    };
    for (const auto& c : cases)
        for (int damaged = 0; damaged < (c.damage ? kChunks : 1); ++damaged) {
            SCOPED_TRACE(std::string(c.what) + " in chunk " + std::to_string(damaged));
            std::vector<StoredChunk> chunks;
            FrameChunkWriter writer;
            for (int k = 0; k < kChunks; ++k) {
                for (int i = 0; i < kFrames; ++i) {
                    Frame frame;
                    frame.frameNumber = k * kFrames + i;
                    frame.frameTime = frame.frameNumber / 25.0;
                    ASSERT_TRUE(writer.add(frame));
                }
                chunks.push_back({int64_t{k} * kFrames, kFrames, writer.finish(), {}, {}});
            }
            if (c.damage)
                c.damage(chunks[damaged]);
            const std::unique_ptr<StoredFragments> stored =
                StoredFragments::fromChunks(std::move(chunks), 25.0);
            ASSERT_EQ(stored == nullptr, c.damage != nullptr);
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

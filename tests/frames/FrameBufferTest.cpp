#include "FrameBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

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

} // namespace

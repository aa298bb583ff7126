#include "FrameBuffer.h"
#include "TestFrames.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

// Frames without pictures: the buffer only moves pointers.
std::vector<Frame*> fill(FrameBuffer& buffer, int n) {
    std::vector<Frame*> frames;
    for (int k = 0; k < n; ++k) {
        auto* frame = new Frame();
        frame->frameNumber = k;
        EXPECT_TRUE(buffer.addFrame(frame));
        frames.push_back(frame);
    }
    return frames;
}

std::vector<Frame*> listOf(const FrameBuffer& buffer) {
    std::vector<Frame*> frames;
    for (Frame* f = buffer.first; f != nullptr; f = f->next)
        frames.push_back(f);
    return frames;
}

struct Buffer {
    explicit Buffer(int capacity) : buffer(capacity) {}
    ~Buffer() { buffer.deleteAllFrames(); }
    FrameBuffer buffer;
};

TEST(FrameBufferCapacity, FullBufferRefusesTheFrameWithAWarning) {
    Buffer b(25);
    fill(b.buffer, 25);
    Frame extra;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(b.buffer.addFrame(&extra));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FrameBuffer::addFrame: WARNING: max number of frames reached (25)");
    EXPECT_EQ(b.buffer.count, 25);
    EXPECT_NE(b.buffer.last, &extra);
    EXPECT_EQ(b.buffer.last->next, nullptr);
}

TEST(FrameBufferCapacity, FrameTableIndexesOnlyTheFirst3000Insertions) {
    Buffer b(5000);
    std::vector<Frame*> frames = fill(b.buffer, 3001);
    EXPECT_EQ(b.buffer.count, 3001);
    EXPECT_EQ(b.buffer.last, frames[3000]);
    EXPECT_EQ(b.buffer.frameTable[2999], frames[2999]);
    for (Frame* entry : b.buffer.frameTable)
        ASSERT_NE(entry, frames[3000]);
    EXPECT_EQ(b.buffer.maxFrames, 5000);
}

TEST(FrameBufferOrder, FramesComeOutInTheOrderAdded) {
    FrameBuffer buffer(5);
    std::vector<Frame*> frames = fill(buffer, 5);
    EXPECT_EQ(listOf(buffer), frames);
    EXPECT_EQ(buffer.first->prev, nullptr);
    EXPECT_EQ(frames[3]->prev, frames[2]);
    for (Frame* expected : frames) {
        std::unique_ptr<Frame> taken(buffer.getFrame());
        EXPECT_EQ(taken.get(), expected);
    }
    EXPECT_EQ(buffer.count, 0);
}

TEST(FrameBufferOrder, EmptyBufferWarnsAndGivesNothing) {
    FrameBuffer buffer(5);
    testing::internal::CaptureStderr();
    EXPECT_EQ(buffer.getFrame(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FrameBuffer::getFrame: WARNING: empty buffer");
    EXPECT_EQ(buffer.count, 0);
}

TEST(FrameBufferOrder, RefilledBufferStartsAndEndsAtTheNewFrame) {
    Buffer b(5);
    fill(b.buffer, 3);
    while (b.buffer.count > 0)
        delete b.buffer.getFrame();
    auto* frame = new Frame();
    ASSERT_TRUE(b.buffer.addFrame(frame));
    EXPECT_EQ(b.buffer.first, frame);
    EXPECT_EQ(b.buffer.last, frame);
    EXPECT_EQ(frame->next, nullptr);
    EXPECT_EQ(frame->prev, nullptr);
    EXPECT_EQ(b.buffer.frameTable[0], frame);
}

TEST(FrameBufferOrder, RotatingEveryFrameKeepsListAndTable) {
    Buffer b(5);
    std::vector<Frame*> frames = fill(b.buffer, 5);
    for (int k = 0; k < 5; ++k)
        ASSERT_TRUE(b.buffer.addFrame(b.buffer.getFrame()));
    EXPECT_EQ(listOf(b.buffer), frames);
    EXPECT_EQ(b.buffer.last, frames[4]);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(b.buffer.frameTable[k], frames[k]) << k;
}

TEST(FrameBufferDeletion, DeleteAllFramesEmptiesQuietly) {
    FrameBuffer buffer(25);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    buffer.deleteAllFrames();
    fill(buffer, 3);
    buffer.deleteAllFrames();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(buffer.count, 0);
}

TEST(FrameBufferDeletion, FramesWithPicturesAndTheirClonesAreFreedOnce) {
    FrameBuffer fragment(25);
    FrameBuffer playback(5000);
    for (int k = 0; k < 4; ++k)
        fragment.addFrame(testframes::uniformFrame(32, 24, 16 * k, 128, 128));
    for (Frame* f = fragment.first; f != nullptr; f = f->next)
        playback.addFrame(f->clone());
    for (Frame* f = fragment.first; f != nullptr; f = f->next)
        f->switchToHistogramMode();
    fragment.deleteAllFrames();
    while (playback.count > 0)
        delete playback.getFrame();
    EXPECT_EQ(fragment.count, 0);
}

TEST(FrameBufferConcurrency, MutexGuardsAProducerAndAConsumer) {
    constexpr int kFrames = 2000;
    FrameBuffer playback(5000);
    std::thread producer([&] {
        for (int k = 0; k < kFrames; ++k) {
            auto* frame = new Frame();
            frame->frameNumber = k;
            QMutexLocker lock(playback.mutex);
            playback.addFrame(frame);
        }
    });
    std::vector<double> seen;
    while (static_cast<int>(seen.size()) < kFrames) {
        Frame* frame = nullptr;
        {
            QMutexLocker lock(playback.mutex);
            if (playback.count > 0)
                frame = playback.getFrame();
        }
        if (frame == nullptr) {
            std::this_thread::yield();
            continue;
        }
        seen.push_back(frame->frameNumber);
        delete frame;
    }
    producer.join();
    for (int k = 0; k < kFrames; ++k)
        ASSERT_EQ(seen[k], k);
    EXPECT_EQ(playback.count, 0);
}

} // namespace

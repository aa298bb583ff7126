#include "StoredFragments.h"

#include "SoundChunk.h"
#include "WorkerPool.h"

#include <thread>

namespace {

// Every chunk opened once, on two threads where there are two cores: the
// summary starts only once all of them are known to be whole.
bool allWhole(const std::vector<StoredChunk>& chunks) {
    // Each chunk to the side with fewer frames so far.
    std::vector<const StoredChunk*> sides[2];
    int64_t frames[2] = {0, 0};
    const bool two = chunks.size() > 1 && std::thread::hardware_concurrency() > 1;
    for (const StoredChunk& chunk : chunks) {
        const int side = two && frames[1] < frames[0] ? 1 : 0;
        sides[side].push_back(&chunk);
        frames[side] += chunk.frames;
    }
    const auto check = [](const std::vector<const StoredChunk*>& side) {
        FrameChunkReader reader;
        for (const StoredChunk* chunk : side)
            if (!reader.open(chunk->descriptors, chunk->frames))
                return false;
        return true;
    };
    bool whole[2] = {true, true};
    WorkerPool pool(sides[1].empty() ? 0 : 1);
    pool.run(2, [&](size_t side) { whole[side] = check(sides[side]); });
    return whole[0] && whole[1];
}

} // namespace

std::unique_ptr<StoredFragments> StoredFragments::open(DescriptorStore& store,
                                                       const StoredEntry& entry) {
    std::vector<StoredChunk> chunks;
    std::unique_ptr<StoredFragments> source;
    if (entry.complete && store.readChunks(entry, &chunks))
        source = fromChunks(std::move(chunks), entry.frameRate);
    if (!source && entry.complete)
        store.forgetDamaged(entry.id);
    return source;
}

std::unique_ptr<StoredFragments> StoredFragments::fromChunks(std::vector<StoredChunk> chunks,
                                                             double frameRate) {
    if (!(frameRate > 0))
        return nullptr;
    if (!allWhole(chunks))
        return nullptr;
    std::unique_ptr<StoredFragments> source(new StoredFragments);
    if (!soundOfChunks(chunks, &source->sounds, &source->heard))
        return nullptr;
    source->rate = frameRate;
    source->chunks = std::move(chunks);
    return source;
}

std::optional<Frame> StoredFragments::nextFrame() {
    while (leftInChunk == 0) {
        if (nextChunk == chunks.size())
            return std::nullopt;
        StoredChunk& chunk = chunks[nextChunk++];
        // Checked by open, so it opens again.
        if (!reader.open(chunk.descriptors, chunk.frames))
            return std::nullopt;
        leftInChunk = chunk.frames;
        std::string().swap(chunk.descriptors);
    }
    Frame frame;
    if (!reader.next(&frame))
        return std::nullopt;
    --leftInChunk;
    if (heard)
        frame.sound = sounds.over(frame.frameTime, frame.frameTime + 1.0 / rate);
    served.fetch_add(1, std::memory_order_relaxed);
    return frame;
}

std::unique_ptr<FrameBuffer> StoredFragments::nextFragment() {
    return gatherFragment([this] { return nextFrame(); });
}

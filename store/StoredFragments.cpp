#include "StoredFragments.h"

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
    FrameChunkReader check;
    for (const StoredChunk& chunk : chunks)
        if (!check.open(chunk.descriptors, chunk.frames))
            return nullptr;
    std::unique_ptr<StoredFragments> source(new StoredFragments);
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
    served.fetch_add(1, std::memory_order_relaxed);
    return frame;
}

std::unique_ptr<FrameBuffer> StoredFragments::nextFragment() {
    return gatherFragment([this] { return nextFrame(); });
}

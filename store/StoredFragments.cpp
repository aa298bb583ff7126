#include "StoredFragments.h"

std::unique_ptr<StoredFragments> StoredFragments::open(DescriptorStore& store,
                                                       const StoredEntry& entry) {
    if (!entry.complete)
        return nullptr;
    std::unique_ptr<StoredFragments> source(new StoredFragments);
    source->rate = entry.frameRate;
    bool whole = store.readChunks(entry, &source->chunks) && entry.frameRate > 0;
    FrameChunkReader check;
    for (size_t i = 0; whole && i < source->chunks.size(); ++i)
        whole = check.open(source->chunks[i].descriptors, source->chunks[i].frames);
    if (!whole) {
        store.forgetDamaged(entry.id);
        return nullptr;
    }
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

#include "AnalysisRecorder.h"

namespace {
constexpr int64_t kChunkFrames =
    int64_t{DescriptorStore::fragmentsPerChunk} * FragmentSource::fragmentCapacity;
} // namespace

AnalysisRecorder::AnalysisRecorder(DescriptorStore& s, VideoKey k, double rate)
    : store(s), key(std::move(k)), frameRate(rate) {}

void AnalysisRecorder::picture(const Frame& frame, const AVFrame* picture, int width, int height) {
    if (!recording)
        return;
    // Fragments run in 25s from the start: this frame begins one.
    if (frames % FragmentSource::fragmentCapacity == 0)
        thumbnails.push_back(thumbnailMaker.make(picture, width, height));
    if (!chunk.add(frame)) {
        recording = false;
        return;
    }
    ++frames;
    if (frames - chunkStart == kChunkFrames)
        recording = writeChunk();
}

void AnalysisRecorder::ended() {
    if (!recording)
        return;
    recording = false;
    // A video without pictures is not worth an entry.
    if (frames == 0 || (chunk.frames() > 0 && !writeChunk()))
        return;
    done = store.finishEntry(entry, frames, chunks);
}

bool AnalysisRecorder::writeChunk() {
    if (entry == 0)
        entry = store.startEntry(key, frameRate);
    if (entry == 0)
        return false;
    StoredChunk stored;
    stored.firstFrame = chunkStart;
    stored.frames = chunk.frames();
    stored.descriptors = chunk.finish();
    stored.thumbnails = packThumbnails(thumbnails);
    thumbnails.clear();
    chunkStart = frames;
    return !stored.descriptors.empty() && store.putChunk(entry, chunks++, stored);
}

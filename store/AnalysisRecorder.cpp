#include "AnalysisRecorder.h"

#include "SoundChunk.h"

namespace {
constexpr int64_t kChunkFrames =
    int64_t{DescriptorStore::fragmentsPerChunk} * FragmentSource::fragmentCapacity;
} // namespace

AnalysisRecorder::AnalysisRecorder(DescriptorStore* s, VideoKey k, double rate, bool keepChunks)
    : store(s), key(std::move(k)), frameRate(rate), storing(s != nullptr), keeping(keepChunks) {}

namespace recording {
// A picture scaled for its thumbnail, on a range's thread.
class ScaledPicture final : public KeptPicture {
public:
    explicit ScaledPicture(ffmpeg::FramePtr scaled) : picture(std::move(scaled)) {}
    ffmpeg::FramePtr picture;
};

class ThumbnailKeeper final : public PictureKeeper {
public:
    std::unique_ptr<KeptPicture> keep(const AVFrame* picture, int width, int height) override {
        return std::make_unique<ScaledPicture>(maker.scale(picture, width, height));
    }

private:
    ThumbnailMaker maker;
};
} // namespace recording

template <typename Thumbnail>
void AnalysisRecorder::add(const Frame& frame, const Thumbnail& thumbnail) {
    if (!recording())
        return;
    // Fragments run in 25s from the start: this frame begins one.
    if (frames % FragmentSource::fragmentCapacity == 0)
        thumbnails.push_back(thumbnail());
    if (!chunk.add(frame)) {
        storing = keeping = false;
        return;
    }
    ++frames;
    if (frames - chunkStart == kChunkFrames)
        writeChunk();
}

std::unique_ptr<PictureKeeper> AnalysisRecorder::keeper() {
    return std::make_unique<recording::ThumbnailKeeper>();
}

void AnalysisRecorder::keptPicture(const Frame& frame, std::unique_ptr<KeptPicture> kept) {
    add(frame, [&] {
        const auto* scaled = dynamic_cast<const recording::ScaledPicture*>(kept.get());
        return thumbnailMaker.encode(scaled ? scaled->picture.get() : nullptr);
    });
}

void AnalysisRecorder::picture(const Frame& frame, const AVFrame* picture, int width, int height) {
    add(frame, [&] { return thumbnailMaker.make(picture, width, height); });
}

void AnalysisRecorder::sound(const SoundUnit* units, size_t count) {
    if (recording())
        heard.insert(heard.end(), units, units + count);
}

void AnalysisRecorder::ended() {
    if (!recording())
        return;
    // A video without pictures is not worth an entry.
    if (frames == 0)
        storing = keeping = false;
    if (chunk.frames() > 0)
        writeChunk();
    whole = keeping;
    if (storing)
        done = store->finishEntry(entry, frames, chunks);
    storing = keeping = false;
}

void AnalysisRecorder::writeChunk() {
    StoredChunk stored;
    stored.firstFrame = chunkStart;
    stored.frames = chunk.frames();
    stored.descriptors = chunk.finish();
    stored.thumbnails = packThumbnails(thumbnails);
    thumbnails.clear();
    stored.sound = encodeSound(heard);
    const bool soundLost = stored.sound.empty() && !heard.empty();
    heard.clear();
    chunkStart = frames;
    if (stored.descriptors.empty() || soundLost) {
        storing = keeping = false;
        return;
    }
    if (storing && entry == 0)
        entry = store->startEntry(key, frameRate);
    storing = storing && entry != 0 && store->putChunk(entry, chunks, stored);
    ++chunks;
    if (keeping)
        kept.push_back(std::move(stored));
}

bool AnalysisRecorder::takeChunks(std::vector<StoredChunk>* out, int64_t* count) {
    if (!whole)
        return false;
    *out = std::move(kept);
    *count = frames;
    whole = false;
    return true;
}

#pragma once

// Keeps an analysis in the store while it runs: shown every picture the
// analysis decodes (see FrameTap), it gathers the frames and a thumbnail per
// fragment into chunks, writes each chunk as it fills, and marks the entry
// complete when the video ends. A jump of the reader, or a store that
// refuses a write, ends the recording; what was written stays as an
// unfinished entry, which no reader takes for a whole analysis. The sound's
// units go with the chunk of the frames they were analysed for. Asked to, it
// also keeps the chunks, for a descriptor file.

#include "DescriptorStore.h"
#include "FragmentSource.h"
#include "FrameChunk.h"
#include "Thumbnail.h"

#include <atomic>
#include <string>
#include <vector>

class AnalysisRecorder final : public FrameTap {
public:
    // store may be null when only the chunks are kept.
    AnalysisRecorder(DescriptorStore* store, VideoKey key, double frameRate,
                     bool keepChunks = false);

    void picture(const Frame& frame, const AVFrame* picture, int width, int height) override;
    void sound(const SoundUnit* units, size_t count) override;
    void ended() override;
    void jumped() override { storing = keeping = false; }
    // Keepers scale pictures as the thumbnails are scaled, and the frames
    // that begin a fragment have theirs encoded at the join.
    std::unique_ptr<PictureKeeper> keeper() override;
    void keptPicture(const Frame& frame, std::unique_ptr<KeptPicture> kept) override;

    // The entry was written whole and marked complete.
    bool completed() const { return done; }
    // Every chunk of the whole video, thumbnails included, once it ended
    // without a jump; false when there is no such analysis.
    bool takeChunks(std::vector<StoredChunk>* chunks, int64_t* frames);

private:
    bool recording() const { return storing || keeping; }
    // The frame, and its thumbnail (made by thumbnail) when it begins a fragment.
    template <typename Thumbnail>
    void add(const Frame& frame, const Thumbnail& thumbnail);
    void writeChunk();

    DescriptorStore* store;
    const VideoKey key;
    const double frameRate;
    FrameChunkWriter chunk;
    std::vector<std::string> thumbnails;
    std::vector<SoundUnit> heard; // units since the last chunk
    ThumbnailMaker thumbnailMaker;
    int64_t entry = 0;
    int64_t frames = 0; // frames seen so far
    int64_t chunkStart = 0;
    int chunks = 0;
    bool storing;
    bool keeping;
    std::vector<StoredChunk> kept;
    std::atomic<bool> done{false};
    std::atomic<bool> whole{false};
};

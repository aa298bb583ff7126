#pragma once

// The fragments of a video read back from the store: the frames of a
// complete analysis, grouped as the analysis grouped them, so the summary
// decides exactly what it decides on the decoded video.

#include "DescriptorStore.h"
#include "FragmentSource.h"
#include "FrameChunk.h"
#include "FrameSound.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class StoredFragments final : public FragmentSource {
public:
    // The fragments of a complete entry; null when its chunks are missing or
    // damaged (the entry is then dropped and the store's notice says so).
    // Every chunk is checked here, before the first fragment.
    static std::unique_ptr<StoredFragments> open(DescriptorStore& store, const StoredEntry& entry);
    // The fragments of chunks read from elsewhere (a descriptor file), in
    // order from the first frame; null when one of them is damaged.
    static std::unique_ptr<StoredFragments> fromChunks(std::vector<StoredChunk> chunks,
                                                       double frameRate);

    std::unique_ptr<FrameBuffer> nextFragment() override;
    int64_t picturesRead() const override { return served; }
    double frameRate() const override { return rate; }

private:
    std::optional<Frame> nextFrame();

    std::vector<StoredChunk> chunks;
    size_t nextChunk = 0;
    int leftInChunk = 0;
    FrameChunkReader reader;
    double rate = 25.0;
    FrameSounds sounds; // the whole sound, when the analysis heard one
    bool heard = false;
    std::atomic<int64_t> served{0};
};

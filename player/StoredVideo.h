#pragma once

// A complete stored analysis as the player uses it: the frames' chunks kept
// compressed in memory, each frame's time and key-frame mark, and the
// fragments of a summary started anywhere in it. Summary mode and the
// summary map both read their fragments from here, so they decide alike,
// and as the live tree would on the decoded video.

#include "AnalysisHandOver.h"
#include "DescriptorStore.h"
#include "FragmentSource.h"
#include "FrameChunk.h"
#include "FrameSound.h"
#include "Summarizer.h"
#include "Worker.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class StoredVideo {
public:
    // The frames of a complete entry; null when its chunks are missing or
    // damaged.
    static std::shared_ptr<const StoredVideo> load(DescriptorStore& store,
                                                   const StoredEntry& entry);
    static std::shared_ptr<const StoredVideo> fromChunks(std::vector<StoredChunk> chunks,
                                                         double frameRate);

    double frameRate() const { return rate; }
    size_t frames() const { return times.size(); }
    double seconds() const { return times.empty() ? 0.0 : times.back() + 1.0 / rate; }
    // The frame that a reader's seekFrameWKey(seconds) makes the next one
    // read, timestamps counting ticksPerSecond: after the first frame at or
    // past the time, unless the key frame the seek lands on is already there.
    size_t seekIndex(double seconds, double ticksPerSecond) const;

    const std::vector<StoredChunk>& chunkList() const { return chunks; }
    // What the sound says of a frame shown from this time on (not known
    // when the analysis heard none).
    FrameSound soundAt(double time) const {
        return heard ? sounds.over(time, time + 1.0 / rate) : FrameSound{};
    }

private:
    std::vector<StoredChunk> chunks;
    FrameSounds sounds;
    bool heard = false;
    double rate = 25.0;
    std::vector<double> times;
    std::vector<bool> keys;
};

// The fragments of a stored video from one of its frames on.
class StoredFrames final : public FragmentSource {
public:
    // memo: where its fragments keep their distances to each other, when
    // given (it must belong to this video).
    StoredFrames(std::shared_ptr<const StoredVideo> video, size_t firstFrame,
                 SegmentDistanceMemo* memo = nullptr);

    std::unique_ptr<FrameBuffer> nextFragment() override;
    int64_t picturesRead() const override { return served; }
    double frameRate() const override { return video->frameRate(); }

private:
    std::optional<Frame> nextFrame();

    std::shared_ptr<const StoredVideo> video;
    SegmentDistanceMemo* memo;
    size_t nextChunk = 0;
    int leftInChunk = 0;
    size_t skip = 0;
    FrameChunkReader reader;
    std::atomic<int64_t> served{0};
};

// A stretch of the video that a summary keeps, in seconds of the video.
struct MapSpan {
    double start = 0.0;
    double end = 0.0;
};

// Runs the summary over the stored frames from firstFrame to the end, with
// the tool's turns, adding each kept fragment to spans (joined with the one
// before when it follows on). Between turns `carryOn` is asked whether to go
// on; false stops the run, and so does the function's result.
bool summarizeStored(const std::shared_ptr<const StoredVideo>& video, size_t firstFrame,
                     const SummarySettings& settings, std::vector<MapSpan>& spans,
                     const std::function<bool()>& carryOn, SegmentDistanceMemo* memo = nullptr);

// What the store's side of the player and the decoding loop tell each
// other: the stored video once it is complete (and a stand-in for it
// before), and where Summary started.
class StoreBoard {
public:
    void publish(std::shared_ptr<const StoredVideo> video) { put(complete, std::move(video)); }
    std::shared_ptr<const StoredVideo> video() const { return get(complete); }
    // A stand-in for the video until it is complete (see Glance), for a
    // provisional map.
    void publishStandIn(std::shared_ptr<const StoredVideo> video) {
        put(standIn, std::move(video));
    }
    std::shared_ptr<const StoredVideo> standInVideo() const { return get(standIn); }
    // Seconds where Summary started (negative while it does not run), and
    // how many timestamp ticks the video counts a second, to find the frame
    // a seek there lands on.
    void setSummaryStart(double seconds, double ticksPerSecond) {
        ticks = ticksPerSecond;
        summaryStart = seconds;
        changed.notify();
    }
    double summaryStartSeconds() const { return summaryStart; }
    double ticksPerSecond() const { return ticks; }

    // Notified at every change, for whoever follows them.
    Wakeup changed;
    // Who analyses a fresh video for the store.
    AnalysisHandOver handOver;

private:
    void put(std::shared_ptr<const StoredVideo>& slot, std::shared_ptr<const StoredVideo> video) {
        {
            const std::lock_guard lock(mutex);
            slot = std::move(video);
        }
        changed.notify();
    }
    std::shared_ptr<const StoredVideo> get(const std::shared_ptr<const StoredVideo>& slot) const {
        const std::lock_guard lock(mutex);
        return slot;
    }

    mutable std::mutex mutex;
    std::shared_ptr<const StoredVideo> complete;
    std::shared_ptr<const StoredVideo> standIn;
    std::atomic<double> summaryStart{-1.0};
    std::atomic<double> ticks{0.0};
};

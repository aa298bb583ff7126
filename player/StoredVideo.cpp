#include "StoredVideo.h"

#include "DistanceHelper.h"
#include "ReadAheadFragments.h"
#include "SoundChunk.h"
#include "SummaryTurns.h"

#include <cmath>
#include <memory>

std::shared_ptr<const StoredVideo> StoredVideo::load(DescriptorStore& store,
                                                     const StoredEntry& entry) {
    std::vector<StoredChunk> chunks;
    if (!entry.complete || !store.readChunks(entry, &chunks))
        return nullptr;
    return fromChunks(std::move(chunks), entry.frameRate);
}

std::shared_ptr<const StoredVideo> StoredVideo::fromChunks(std::vector<StoredChunk> chunks,
                                                           double frameRate) {
    if (!(frameRate > 0))
        return nullptr;
    auto video = std::make_shared<StoredVideo>();
    video->rate = frameRate;
    FrameChunkReader reader;
    Frame frame;
    for (const StoredChunk& chunk : chunks) {
        if (!reader.open(chunk.descriptors, chunk.frames))
            return nullptr;
        while (reader.next(&frame)) {
            video->times.push_back(frame.frameTime);
            video->keys.push_back(frame.keyFrame);
        }
    }
    if (!soundOfChunks(chunks, &video->sounds, &video->heard))
        return nullptr;
    video->chunks = std::move(chunks);
    return video;
}

size_t StoredVideo::seekIndex(double seconds, double ticksPerSecond) const {
    const auto ticks = [&](double time) { return std::llround(time * ticksPerSecond); };
    const double scaled = seconds * ticksPerSecond;
    const auto target = static_cast<int64_t>(std::isfinite(scaled) ? scaled : 0.0);
    const size_t count = times.size();
    // The demuxer goes back to the last key frame at or before the target,
    // or to the first one when none is.
    size_t key = count;
    for (size_t i = 0; i < count && ticks(times[i]) <= target; ++i)
        if (keys[i])
            key = i;
    if (key == count)
        for (key = 0; key < count && !keys[key];)
            ++key;
    if (key == count)
        return count;
    if (ticks(times[key]) >= target)
        return key;
    size_t at = key;
    while (at < count && ticks(times[at]) < target)
        ++at;
    return std::min(at + 1, count);
}

StoredFrames::StoredFrames(std::shared_ptr<const StoredVideo> v, size_t firstFrame,
                           SegmentDistanceMemo* memo)
    : video(std::move(v)), memo(memo) {
    // Whole chunks before the first frame are passed over unread.
    const std::vector<StoredChunk>& chunks = video->chunkList();
    while (nextChunk < chunks.size() && static_cast<size_t>(chunks[nextChunk].firstFrame +
                                                            chunks[nextChunk].frames) <= firstFrame)
        ++nextChunk;
    if (nextChunk < chunks.size())
        skip = firstFrame - static_cast<size_t>(chunks[nextChunk].firstFrame);
}

std::optional<Frame> StoredFrames::nextFrame() {
    const std::vector<StoredChunk>& chunks = video->chunkList();
    Frame frame;
    for (;;) {
        while (leftInChunk == 0) {
            if (nextChunk == chunks.size())
                return std::nullopt;
            const StoredChunk& chunk = chunks[nextChunk++];
            // Checked when the video was loaded, so it opens again.
            if (!reader.open(chunk.descriptors, chunk.frames))
                return std::nullopt;
            leftInChunk = chunk.frames;
        }
        if (!reader.next(&frame))
            return std::nullopt;
        --leftInChunk;
        if (skip == 0)
            break;
        --skip;
    }
    frame.sound = video->soundAt(frame.frameTime);
    served.fetch_add(1, std::memory_order_relaxed);
    return frame;
}

std::unique_ptr<FrameBuffer> StoredFrames::nextFragment() {
    std::unique_ptr<FrameBuffer> fragment = gatherFragment([this] { return nextFrame(); });
    if (fragment)
        fragment->distanceMemo = memo;
    return fragment;
}

bool summarizeStored(const std::shared_ptr<const StoredVideo>& video, size_t firstFrame,
                     const SummarySettings& settings, std::vector<MapSpan>& spans,
                     const std::function<bool()>& carryOn, SegmentDistanceMemo* memo) {
    StoredFrames stored(video, firstFrame, memo);
    ReadAheadFragments fragments(stored);
    // The comparisons of each level are shared with a second core.
    const std::unique_ptr<DistanceHelper> helper = DistanceHelper::ifCoresAllow();
    Summarizer summarizer(settings);
    summarizer.setDistanceHelper(helper.get());
    SummaryTurns turns(fragments, summarizer);
    const double frameDuration = 1.0 / video->frameRate();
    while (!turns.finished()) {
        if (!carryOn())
            return false;
        turns.offerFragment();
        const std::optional<Decision> decision = turns.takeDecision();
        if (!decision || !decision->kept)
            continue;
        const MapSpan span{decision->start, decision->last + frameDuration};
        // A fragment that follows on within a frame's slack joins the span.
        if (!spans.empty() && std::abs(spans.back().end - span.start) < frameDuration / 2)
            spans.back().end = span.end;
        else
            spans.push_back(span);
    }
    return true;
}

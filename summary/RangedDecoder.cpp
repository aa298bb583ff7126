#include "RangedDecoder.h"

#include <algorithm>
#include <utility>

namespace {
// As FragmentDecoder reads ahead: enough to cover the caller's work between
// two fragments.
constexpr size_t kJoinedAhead = 8;
} // namespace

std::unique_ptr<RangedDecoder> RangedDecoder::open(const std::string& path,
                                                   const ReaderOptions& options, int ranges,
                                                   int64_t stretchFrames, bool wherePaying) {
    if (ranges < 2)
        return nullptr;
    std::vector<Stretch> stretches = planStretches(path, stretchFrames, wherePaying);
    if (stretches.size() < 2)
        return nullptr;
    std::unique_ptr<RangedDecoder> decoder(
        new RangedDecoder(path, options, std::move(stretches), ranges));
    for (const std::unique_ptr<VideoReader>& reader : decoder->readers)
        if (reader->status() != VideoReader::OK)
            return nullptr;
    decoder->rate = decoder->readers.front()->getFrameRate();
    decoder->hearing.open(path);
    return decoder;
}

RangedDecoder::RangedDecoder(std::string file, const ReaderOptions& readerOptions,
                             std::vector<Stretch> plan, int rangeCount)
    : path(std::move(file)), options(readerOptions), stretches(std::move(plan)),
      decoded(stretches.size()), ahead(kJoinedAhead) {
    // The sound is analysed at the join, on its own reader.
    options.audio = false;
    options.quiet = true;
    const size_t count = std::min<size_t>(static_cast<size_t>(rangeCount), stretches.size());
    for (size_t i = 0; i < count; ++i) {
        readers.push_back(std::make_unique<VideoReader>(path.c_str(), options));
        ranges.push_back(std::make_unique<Worker>());
    }
    // Where the index counts every packet, a stretch's place is known from
    // the start: a stretch is whole only with a picture for each of its
    // packets, and one that is not hands the rest to one pass. Its copies
    // for thumbnails are then made only of the pictures that begin a fragment.
    int64_t first = 0;
    for (size_t i = 0; i < stretches.size() && first >= 0; ++i) {
        decoded[i].firstFrame = first;
        first = stretches[i].packets < 0 ? -1 : first + stretches[i].packets;
    }
    joiner.setInterrupt([this] { ahead.close(); });
}

RangedDecoder::~RangedDecoder() {
    stop();
}

bool RangedDecoder::setTap(FrameTap* tap) {
    keepers.clear();
    frameTap = nullptr;
    if (tap == nullptr)
        return true;
    for (size_t i = 0; i < readers.size(); ++i) {
        keepers.push_back(tap->keeper());
        if (!keepers.back()) {
            keepers.clear();
            return false;
        }
    }
    frameTap = tap;
    return true;
}

void RangedDecoder::start() {
    started = true;
    for (size_t i = 0; i < ranges.size(); ++i)
        ranges[i]->start([this, i] { rangeLoop(i); });
    joiner.start([this] { joinLoop(); });
}

void RangedDecoder::endRanges(bool* flag) {
    {
        const std::lock_guard<std::mutex> guard(lock);
        *flag = true;
    }
    changed.notify_all();
    for (const std::unique_ptr<Worker>& range : ranges)
        range->stop();
}

void RangedDecoder::stop() {
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    changed.notify_all();
    // The join first: it may be ending the ranges itself (see startTail).
    joiner.stop();
    endRanges(&stopping);
}

void RangedDecoder::rangeLoop(size_t range) {
    for (;;) {
        size_t index = 0;
        {
            std::unique_lock<std::mutex> guard(lock);
            // One stretch more than the ranges may wait: the one the join
            // is on, and one for each range.
            changed.wait(guard, [&] {
                return stopping || abandoned || nextStretch >= stretches.size() ||
                       nextStretch <= joinedStretch + ranges.size();
            });
            if (stopping || abandoned || nextStretch >= stretches.size())
                return;
            index = nextStretch++;
        }
        bool whole = false;
        try {
            whole = decodeStretch(index, *readers[range],
                                  keepers.empty() ? nullptr : keepers[range].get());
        } catch (...) {
            // The single pass that takes over meets it again, where it belongs.
            whole = false;
        }
        {
            const std::lock_guard<std::mutex> guard(lock);
            decoded[index].done = true;
            decoded[index].failed = !whole;
            placeStretches();
        }
        changed.notify_all();
    }
}

bool RangedDecoder::decodeStretch(size_t index, VideoReader& reader, PictureKeeper* keeper) {
    const Stretch& stretch = stretches[index];
    const bool last = index + 1 == stretches.size();
    const int64_t endPos = last ? -1 : stretches[index + 1].keyPos;
    // The first stretch is the file's start, as a single pass reads it; the
    // reader that takes it has read nothing yet.
    bool begun = index == 0;
    if (!begun && !reader.seekTimestamp(stretch.seekTs))
        return false;
    int64_t local = 0;
    for (;;) {
        AVFrame* picture = nullptr;
        {
            const std::lock_guard<std::mutex> guard(lock);
            if (stopping || abandoned)
                return false;
        }
        if (!reader.getNextFrame(&picture))
            return last && begun && (stretch.packets < 0 || local == stretch.packets);
        const int64_t pos = picture->pkt_pos;
        // A picture whose place is unknown cannot be given to a stretch.
        if (pos < 0)
            return false;
        if (!last && pos == endPos)
            return begun && (stretch.packets < 0 || local == stretch.packets);
        // Past the next stretch's key packet without its picture: the
        // decoder left that out, and what follows may differ from one pass.
        if (!last && pos > endPos)
            return false;
        if (!begun) {
            // Leading pictures of an open group, decoded without the
            // pictures before: the stretch before has them whole.
            if (pos != stretch.keyPos)
                continue;
            begun = true;
        }
        // A damaged picture is made up from the ones decoded before it,
        // which one pass has and a stretch started after them has not.
        if (index > 0 &&
            (picture->decode_error_flags != 0 || (picture->flags & AV_FRAME_FLAG_CORRUPT)))
            return false;
        DescribedPicture described = describePicture(reader, picture);
        bool mayBeginFragment = true;
        {
            const std::lock_guard<std::mutex> guard(lock);
            const int64_t first = decoded[index].firstFrame;
            if (first >= 0)
                mayBeginFragment = (first + local) % FragmentSource::fragmentCapacity == 0;
        }
        std::unique_ptr<KeptPicture> kept;
        if (keeper != nullptr && mayBeginFragment)
            kept = keeper->keep(described.picture.avFrame(), described.picture.width(),
                                described.picture.height());
        {
            const std::lock_guard<std::mutex> guard(lock);
            Decoded& out = decoded[index];
            out.frames.push_back(std::move(described.frame));
            out.kept.push_back(std::move(kept));
            ++out.count;
        }
        changed.notify_all();
        ++local;
    }
}

void RangedDecoder::placeStretches() {
    for (size_t i = 0; i + 1 < decoded.size(); ++i) {
        const Decoded& at = decoded[i];
        if (!at.done || at.failed || at.firstFrame < 0)
            return;
        if (decoded[i + 1].firstFrame < 0)
            decoded[i + 1].firstFrame = at.firstFrame + at.count;
    }
}

std::unique_ptr<FrameBuffer> RangedDecoder::nextFragment() {
    if (!started)
        start();
    return gatherFragment([this]() -> std::optional<Frame> {
        if (ended)
            return std::nullopt;
        std::optional<BoundedQueue<std::optional<Frame>>::Entry> entry = ahead.get();
        ended = !entry || !entry->item;
        if (ended && failure)
            std::rethrow_exception(std::exchange(failure, nullptr));
        if (ended)
            return std::nullopt;
        return std::move(entry->item);
    });
}

void RangedDecoder::joinLoop() {
    readAheadInto(
        ahead, [this] { return tail ? tailFrame() : joinFrame(); }, &failure);
}

std::optional<Frame> RangedDecoder::joinFrame() {
    Frame frame;
    std::unique_ptr<KeptPicture> kept;
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            if (stopping)
                return std::nullopt;
            if (joinedStretch == decoded.size()) {
                guard.unlock();
                return endOfVideo();
            }
            Decoded& out = decoded[joinedStretch];
            if (!out.frames.empty()) {
                frame = std::move(out.frames.front());
                kept = std::move(out.kept.front());
                out.frames.pop_front();
                out.kept.pop_front();
                break;
            }
            if (out.done && out.failed) {
                guard.unlock();
                startTail();
                return tailFrame();
            }
            if (out.done) {
                ++joinedStretch;
                changed.notify_all();
                continue;
            }
            changed.wait(guard);
        }
    }
    lastFrameTime = frame.frameTime;
    hearing.hear(&frame, rate, frameTap);
    if (frameTap)
        frameTap->keptPicture(frame, std::move(kept));
    joined.fetch_add(1, std::memory_order_relaxed);
    return frame;
}

std::optional<Frame> RangedDecoder::endOfVideo() {
    hearing.picturesEnded(lastFrameTime);
    if (frameTap)
        frameTap->ended();
    return std::nullopt;
}

void RangedDecoder::startTail() {
    endRanges(&abandoned);
    // The frames joined so far are the single pass's first ones.
    tail = std::make_unique<VideoReader>(path.c_str(), options);
    tookOver = true;
    AVFrame* picture = nullptr;
    for (int64_t i = 0; i < joined && !joiner.stopRequested() && tail->getNextFrame(&picture);
         ++i) {
    }
}

std::optional<Frame> RangedDecoder::tailFrame() {
    AVFrame* picture = nullptr;
    if (!tail->getNextFrame(&picture))
        return endOfVideo();
    DescribedPicture described = describePicture(*tail, picture);
    Frame& frame = described.frame;
    lastFrameTime = frame.frameTime;
    hearing.hear(&frame, rate, frameTap);
    if (frameTap)
        frameTap->picture(frame, described.picture.avFrame(), described.picture.width(),
                          described.picture.height());
    joined.fetch_add(1, std::memory_order_relaxed);
    return std::move(frame);
}

#include "FragmentDecoder.h"

#include <exception>
#include <utility>

namespace {
// Enough to cover the caller's work between two fragments: more would only
// decode further before it is needed.
constexpr size_t kReadAheadFrames = 8;

// The sound starts this long before the place a reader jumps to, so that the
// detector has heard some of it by the first frame.
constexpr double kSoundLead = 1.0;
} // namespace

FragmentDecoder::FragmentDecoder(const char* path, const ReaderOptions& options)
    : reader(std::make_unique<VideoReader>(path, options)), ahead(kReadAheadFrames) {
    worker.setInterrupt([this] { ahead.close(); });
    if (reader->status() == VideoReader::OK)
        hearing.open(path);
}

FragmentDecoder::~FragmentDecoder() {
    stopReadAhead();
}

std::optional<Frame> FragmentDecoder::readFrame() {
    AVFrame* decoded = nullptr;
    int16_t* samples = nullptr;
    int value = 0;
    int count = 0;
    if (!reader->getNextFrame(&decoded, &samples, &value, &count)) {
        hearing.picturesEnded(lastFrameTime);
        if (frameTap)
            frameTap->ended();
        return std::nullopt;
    }
    pictures.fetch_add(1, std::memory_order_relaxed);
    DescribedPicture described = describePicture(*reader, decoded);
    Frame& frame = described.frame;
    lastFrameTime = frame.frameTime;
    hearing.hear(&frame, reader->getFrameRate(), frameTap);
    if (frameTap)
        frameTap->picture(frame, described.picture.avFrame(), described.picture.width(),
                          described.picture.height());
    return std::move(frame);
}

std::optional<Frame> FragmentDecoder::nextFrame() {
    if (ended)
        return std::nullopt;
    // Frames read ahead come first, also once reading ahead was turned off.
    std::optional<BoundedQueue<std::optional<Frame>>::Entry> entry =
        worker.running() ? ahead.get() : ahead.tryGet();
    if (!entry)
        return readFrame();
    ended = !entry->item;
    if (ended && failure) {
        ended = false;
        std::rethrow_exception(std::exchange(failure, nullptr));
    }
    return std::move(entry->item);
}

std::unique_ptr<FrameBuffer> FragmentDecoder::decodeFragment() {
    if (!worker.running()) {
        // Says so when the reader is in error, before it is asked for pictures.
        int width = 0;
        int height = 0;
        reader->getVideoSize(&width, &height);
    }
    return gatherFragment([this] { return nextFrame(); });
}

void FragmentDecoder::readAheadLoop() {
    readAheadInto(ahead, [this] { return readFrame(); }, &failure);
}

void FragmentDecoder::setReadAhead(bool on) {
    if (on == worker.running())
        return;
    if (!on) {
        // What was read ahead stays queued for the next fragments.
        stopReadAhead();
        return;
    }
    if (ended)
        return; // nothing more to read
    worker.start([this] { readAheadLoop(); });
}

void FragmentDecoder::stopReadAhead() {
    worker.stop();
    ahead.reopen();
}

bool FragmentDecoder::seekFrameWKey(double seconds) {
    const bool readingAhead = worker.running();
    stopReadAhead();
    ahead.flush();
    ended = false;
    if (frameTap)
        frameTap->jumped();
    const bool found = reader->seekFrameWKey(seconds);
    hearing.restartAt(seconds - kSoundLead);
    setReadAhead(readingAhead);
    return found;
}

#include "FragmentDecoder.h"

#include "Picture.h"
#include "Slate.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace {
// Enough to cover the caller's work between two fragments: more would only
// decode further before it is needed.
constexpr size_t kReadAheadFrames = 8;

// The sound starts this long before the place a reader jumps to, so that the
// detector has heard some of it by the first frame.
constexpr double kSoundLead = 1.0;
// Sound that ends this much before the pictures is worth a word.
constexpr double kSoundShortBy = 1.0;
} // namespace

FragmentDecoder::FragmentDecoder(const char* path, const ReaderOptions& options)
    : reader(std::make_unique<VideoReader>(path, options)), ahead(kReadAheadFrames),
      fileName(path) {
    worker.setInterrupt([this] { ahead.close(); });
    if (reader->status() == VideoReader::OK)
        openSound(path);
}

void FragmentDecoder::openSound(const char* path) {
    sound = std::make_unique<SoundAnalysis>();
    std::string error;
    if (sound->open(path, &error)) {
        sounds.reset(sound->first());
        return;
    }
    sound.reset();
    // A file with no sound at all is summarised as it always was, without a word.
    if (!error.empty())
        tellOfSound("the sound of '" + fileName + "' cannot be analysed (" + error +
                    "): its pictures are summarised without it");
}

void FragmentDecoder::tellOfSound(std::string notice) {
    const std::lock_guard<std::mutex> lock(noticeLock);
    if (!soundNoticeGiven && soundNotice.empty())
        soundNotice = std::move(notice);
}

std::string FragmentDecoder::takeSoundNotice() {
    const std::lock_guard<std::mutex> lock(noticeLock);
    if (!soundNotice.empty())
        soundNoticeGiven = true;
    return std::exchange(soundNotice, {});
}

void FragmentDecoder::hear(Frame* frame) {
    if (!sound)
        return;
    const double rate = reader->getFrameRate();
    const double end = frame->frameTime + (rate > 0.0 ? 1.0 / rate : 0.04);
    if (!sound->advanceTo(end)) {
        tellOfSound("the sound of '" + fileName +
                    "' cannot be converted: the rest of its pictures are summarised without it");
        sound.reset();
        return;
    }
    const std::vector<SoundUnit> units = sound->take();
    sounds.add(units.data(), units.size());
    if (frameTap)
        frameTap->sound(units.data(), units.size());
    frame->sound = sounds.over(frame->frameTime, end);
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
        if (sound && sound->soundEnded() < lastFrameTime - kSoundShortBy) {
            char at[32];
            std::snprintf(at, sizeof at, "%.1f", sound->soundEnded());
            tellOfSound("the sound of '" + fileName + "' ends at " + at +
                        " s, well before its pictures: the rest is taken for silence");
        }
        if (frameTap)
            frameTap->ended();
        return std::nullopt;
    }
    pictures.fetch_add(1, std::memory_order_relaxed);
    // A stream that declares no size takes it from its first picture.
    int width = 0;
    int height = 0;
    reader->getVideoSize(&width, &height);
    // Described as our own copy would be: chroma rows are addressed with
    // half the luma line size, which a packed picture has and a decoder's
    // padded one need not.
    const Picture picture = Picture::copyOf(decoded, width, height);
    Frame frame;
    frame.frameNumber =
        static_cast<double>(static_cast<uint32_t>(reader->timestampToFrame(decoded->pts)));
    frame.frameTime = reader->timestampToSeconds(decoded->pts);
    frame.keyFrame = decoded->key_frame != 0;
    frame.descriptors = Descriptors::of(picture.avFrame(), width, height);
    frame.slate = looksLikeSlate(picture.avFrame(), width, height);
    lastFrameTime = frame.frameTime;
    hear(&frame);
    if (frameTap)
        frameTap->picture(frame, picture.avFrame(), width, height);
    return frame;
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
    while (ahead.waitForRoom()) {
        std::optional<Frame> frame;
        try {
            frame = readFrame();
        } catch (...) {
            // The caller meets it where the video stops for it.
            failure = std::current_exception();
        }
        const bool end = !frame;
        // Made, so kept even if a stop came meanwhile: the reader has moved past it.
        ahead.putAnyway(std::move(frame));
        if (end)
            return;
    }
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
    if (sound) {
        sound->restartAt(seconds - kSoundLead);
        sounds.reset(sound->first());
    }
    setReadAhead(readingAhead);
    return found;
}

#include "PlaybackReader.h"

#include "Descriptors.h"

#include <cmath>
#include <optional>
#include <utility>

namespace {
// Without an index of key frames, a gap longer than this is jumped over
// rather than decoded.
constexpr double kStraightGap = 4.0;
// A second try lands this much earlier, so that the fragment lies beyond a
// later key frame than the one the decoder starts from.
constexpr double kSafeLead = 10.0;
} // namespace

PlaybackReader::PlaybackReader(std::string videoPath, const ReaderOptions& readerOptions)
    : path(std::move(videoPath)), options(readerOptions) {}

PlaybackReader::~PlaybackReader() = default;

bool PlaybackReader::open() {
    reader = std::make_unique<VideoReader>(path.c_str(), options);
    started = false;
    if (reader->status() != VideoReader::OK && reader->audioRefused() && options.audio) {
        // The pictures without their sound rather than nothing.
        refused = true;
        options.audio = false;
        reader = std::make_unique<VideoReader>(path.c_str(), options);
    }
    if (reader->status() != VideoReader::OK)
        return false;
    reader->getVideoSize(&width, &height);
    return true;
}

bool PlaybackReader::decodeNext(AVFrame** picture, double* seconds) {
    if (!reader || !reader->getNextFrame(picture))
        return false;
    // A stream that declares no size tells it with its first picture.
    if (width <= 0 || height <= 0)
        reader->getVideoSize(&width, &height);
    *seconds = reader->timestampToSeconds((*picture)->pts);
    lastTime = *seconds;
    started = true;
    return true;
}

PictureFrame PlaybackReader::placed(const AVFrame* picture, double seconds) const {
    PictureFrame frame;
    // The reader reuses its picture for the next decode.
    frame.picture = Picture::copyOf(picture, width, height);
    frame.frameNumber =
        static_cast<double>(static_cast<uint32_t>(reader->timestampToFrame(picture->pts)));
    frame.frameTime = seconds;
    return frame;
}

bool PlaybackReader::next(PictureFrame* frame) {
    AVFrame* picture = nullptr;
    double seconds = 0.0;
    if (!decodeNext(&picture, &seconds))
        return false;
    *frame = placed(picture, seconds);
    return true;
}

int PlaybackReader::readNext(int count, std::vector<PictureFrame>& frames) {
    int read = 0;
    for (; read < count; ++read) {
        PictureFrame frame;
        if (!next(&frame))
            break;
        frames.push_back(std::move(frame));
    }
    return read;
}

bool PlaybackReader::seekFrameWKey(double seconds) {
    if (!reader && !open())
        return false;
    started = false;
    return reader->seekFrameWKey(seconds);
}

bool PlaybackReader::jumpTo(double seconds) {
    if (!reader && !open())
        return false;
    started = false;
    const AVRational base = reader->videoStreamInfo().time_base;
    const double ts = std::max(0.0, seconds) * base.den / base.num;
    return reader->seekTimestamp(static_cast<int64_t>(std::llround(ts)));
}

bool PlaybackReader::jumpSavesDecoding(double start) const {
    if (!started || lastTime >= start)
        return true; // behind the fragment: only a jump gets back
    if (!reader->hasKeyFrameIndex())
        return start - lastTime > kStraightGap;
    // Worth it when a key frame lies between here and the fragment.
    const AVRational base = reader->videoStreamInfo().time_base;
    const double ts = start * base.den / base.num;
    const std::optional<int64_t> key =
        reader->keyFrameAtOrBefore(static_cast<int64_t>(std::llround(ts)));
    return key && reader->timestampToSeconds(*key) > lastTime;
}

PlaybackReader::Outcome PlaybackReader::readFrom(const Decision& fragment, bool afterJump,
                                                 int* taken, const PictureTaker& take) {
    int found = 0;
    bool first = true;
    for (;;) {
        AVFrame* picture = nullptr;
        double seconds = 0.0;
        if (!decodeNext(&picture, &seconds))
            return Outcome::NotAsDescribed;
        // A jump that lands beyond the fragment cannot read it.
        if (first && afterJump && seconds > fragment.start)
            return Outcome::NotAsDescribed;
        first = false;
        // Pictures before the fragment are decoded only.
        if (seconds < fragment.start)
            continue;
        if (seconds > fragment.start && found == 0)
            return Outcome::NotAsDescribed; // its first picture is not in the stream as decoded now
        PictureFrame frame = placed(picture, seconds);
        if (found < static_cast<int>(fragment.signatures.size())) {
            const Descriptors seen = Descriptors::of(frame.picture.avFrame(), width, height);
            if (pictureSignature(seen) != fragment.signatures[found])
                return Outcome::NotAsDescribed;
        }
        if (found == *taken) {
            if (!take(std::move(frame)))
                return Outcome::Stopped;
            ++*taken;
        }
        if (++found == fragment.frames)
            return Outcome::Read;
    }
}

bool PlaybackReader::read(const Decision& fragment, std::vector<PictureFrame>& frames) {
    std::vector<PictureFrame> found;
    const bool whole = read(fragment, [&found](PictureFrame&& frame) {
        found.push_back(std::move(frame));
        return true;
    });
    if (!whole)
        return false;
    for (auto& frame : found)
        frames.push_back(std::move(frame));
    return true;
}

bool PlaybackReader::read(const Decision& fragment, const PictureTaker& take) {
    if (fragment.frames <= 0)
        return true;
    if (!reader && !open())
        return false;
    int taken = 0;
    Outcome outcome = Outcome::NotAsDescribed;
    auto tried = [&](bool afterJump) {
        outcome = readFrom(fragment, afterJump, &taken, take);
        return outcome != Outcome::NotAsDescribed;
    };
    // Straight on when that is cheapest; else a jump to the key frame at or
    // before the fragment, then one landing well before it, and at last the
    // whole video from its start, as the summary itself read it.
    if ((!jumpSavesDecoding(fragment.start) && tried(false)) ||
        (jumpTo(fragment.start) && tried(true)) ||
        (jumpTo(fragment.start - kSafeLead) && tried(true)) || (open() && tried(false)))
        return outcome == Outcome::Read;
    return false;
}

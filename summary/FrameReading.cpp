#include "FrameReading.h"

#include "Slate.h"

#include <cstdio>
#include <utility>

namespace {
// Sound that ends this much before the pictures is worth a word.
constexpr double kSoundShortBy = 1.0;
} // namespace

DescribedPicture describePicture(VideoReader& reader, const AVFrame* decoded) {
    // A stream that declares no size takes it from its first picture.
    int width = 0;
    int height = 0;
    reader.getVideoSize(&width, &height);
    // Described as our own copy would be: chroma rows are addressed with
    // half the luma line size, which a packed picture has and a decoder's
    // padded one need not.
    DescribedPicture described{Frame{}, Picture::copyOf(decoded, width, height)};
    Frame& frame = described.frame;
    frame.frameNumber =
        static_cast<double>(static_cast<uint32_t>(reader.timestampToFrame(decoded->pts)));
    frame.frameTime = reader.timestampToSeconds(decoded->pts);
    frame.keyFrame = decoded->key_frame != 0;
    frame.descriptors = Descriptors::of(described.picture.avFrame(), width, height);
    frame.slate = looksLikeSlate(described.picture.avFrame(), width, height);
    return described;
}

void readAheadInto(BoundedQueue<std::optional<Frame>>& queue,
                   const std::function<std::optional<Frame>()>& next, std::exception_ptr* failure) {
    while (queue.waitForRoom()) {
        std::optional<Frame> frame;
        try {
            frame = next();
        } catch (...) {
            *failure = std::current_exception();
        }
        const bool end = !frame;
        // Made, so kept even if a stop came meanwhile: the reader has moved past it.
        queue.putAnyway(std::move(frame));
        if (end)
            return;
    }
}

void FrameHearing::open(const std::string& path) {
    fileName = path;
    sound = std::make_unique<SoundAnalysis>();
    std::string error;
    if (sound->open(path.c_str(), &error)) {
        sounds.reset(sound->first());
        return;
    }
    sound.reset();
    // A file with no sound at all is summarised as it always was, without a word.
    if (!error.empty())
        tell("the sound of '" + fileName + "' cannot be analysed (" + error +
             "): its pictures are summarised without it");
}

void FrameHearing::tell(std::string text) {
    const std::lock_guard<std::mutex> lock(noticeLock);
    if (!noticeGiven && notice.empty())
        notice = std::move(text);
}

std::string FrameHearing::takeNotice() {
    const std::lock_guard<std::mutex> lock(noticeLock);
    if (!notice.empty())
        noticeGiven = true;
    return std::exchange(notice, {});
}

void FrameHearing::hear(Frame* frame, double frameRate, FrameTap* tap) {
    if (!sound)
        return;
    const double end = frame->frameTime + (frameRate > 0.0 ? 1.0 / frameRate : 0.04);
    if (!sound->advanceTo(end)) {
        tell("the sound of '" + fileName +
             "' cannot be converted: the rest of its pictures are summarised without it");
        sound.reset();
        return;
    }
    const std::vector<SoundUnit> units = sound->take();
    sounds.add(units.data(), units.size());
    if (tap)
        tap->sound(units.data(), units.size());
    frame->sound = sounds.over(frame->frameTime, end);
}

void FrameHearing::restartAt(double seconds) {
    if (!sound)
        return;
    sound->restartAt(seconds);
    sounds.reset(sound->first());
}

void FrameHearing::picturesEnded(double lastFrameTime) {
    // Not a word when it does not tell where it ended (not a number).
    if (!sound || !(sound->soundEnded() < lastFrameTime - kSoundShortBy))
        return;
    char at[32];
    std::snprintf(at, sizeof at, "%.1f", sound->soundEnded());
    tell("the sound of '" + fileName + "' ends at " + at +
         " s, well before its pictures: the rest is taken for silence");
}

#include "PlayStep.h"

#include "FragmentDecoder.h"
#include "PlaybackReader.h"
#include "PlaybackTimeline.h"
#include "StepTimes.h"

#include <algorithm>

bool PlayStep::step(bool saving) {
    if (endOfStream)
        return false;
    int width = 0;
    int height = 0;
    if (VideoReader* reader = playback.videoReader())
        reader->getVideoSize(&width, &height);
    const int64_t bytes = pictureBytes(width, height);
    // One fragment's worth at most, a picture at a time while there is room.
    int read = 0;
    std::vector<PictureFrame> frames;
    while (read < FragmentDecoder::fragmentCapacity && timeline.hasRoom(bytes, saving)) {
        if (playback.readNext(1, frames) == 0) {
            endOfStream = true;
            break;
        }
        if (frames.back().frameTime < playFrom) {
            frames.clear();
            continue;
        }
        timeline.number(frames, true);
        timeline.place(frames, true);
        ++read;
    }
    return read > 0;
}

PlayStep::Back PlayStep::stepBack(int count, double shown, std::vector<PictureFrame>& frames) {
    size_t earlier = 0;
    for (double lead = timeline.framePeriod() * (count + 1);; lead *= 2) {
        const double from = std::max(0.0, shown - lead);
        frames.clear();
        if (!playback.seekFrameWKey(from))
            return Back::Nothing;
        earlier = 0;
        while (playback.readNext(1, frames) == 1) {
            if (!pictureBefore(frames.back().frameTime, shown))
                break;
            ++earlier;
        }
        if (earlier >= static_cast<size_t>(count) || from == 0.0)
            break;
    }
    if (earlier == 0)
        return Back::Restart;
    const auto first = static_cast<std::ptrdiff_t>(earlier - std::min<size_t>(earlier, count));
    // From the first of them on, the picture shown included: a step on
    // comes back to it.
    frames.erase(frames.begin(), frames.begin() + first);
    return Back::Stepped;
}

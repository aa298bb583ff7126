#include "PlaybackTimeline.h"

#include "PlaybackSound.h"
#include "SoundSink.h"

#include <algorithm>

namespace {
// Steps between timestamps longer than this are breaks, not the spacing of
// a run of pictures.
constexpr double kLongestStep = 5.0;
} // namespace

PlaybackTimeline::PlaybackTimeline(PlaybackQueue& playbackQueue, PlaybackSound& playbackSound,
                                   SoundSink* output, PlayerCore& playerCore)
    : queue(playbackQueue), sound(playbackSound), audio(output), core(playerCore) {}

double PlaybackTimeline::fill() const {
    const double fill = std::max(static_cast<double>(queue.size()) / bufferTarget,
                                 static_cast<double>(queue.weight()) / bufferBudget);
    return fill < 1.0 ? fill : 1.0;
}

bool PlaybackTimeline::hasRoom(int64_t comingBytes, bool saving) const {
    const size_t held = queue.size();
    if (held >= static_cast<size_t>(bufferTarget))
        return false;
    // An empty buffer takes what comes, however large the pictures.
    const int64_t limit = saving ? bufferBudget / 2 : bufferBudget;
    return held == 0 || queue.weight() + comingBytes <= limit;
}

void PlaybackTimeline::setSpeed(double chosen) {
    pace = chosen;
    core.screen.speed = pace;
    core.state.update([chosen](PlayerState& s) { return changeTo(s.speed, chosen); });
    sound.setSpeed(pace);
}

void PlaybackTimeline::number(std::vector<PictureFrame>& frames, bool counted) {
    const double first = numbered + 1.0;
    for (size_t k = 0; k < frames.size(); ++k)
        frames[k].frameNumber = first + static_cast<double>(k);
    if (counted)
        numbered += static_cast<int32_t>(frames.size());
}

void PlaybackTimeline::place(std::vector<PictureFrame>& frames, bool followsOn) {
    bool cut = !followsOn && placedAny;
    for (PictureFrame& frame : frames) {
        const double step = frame.frameTime - lastFrameTime;
        if (placedAny && followsOn && step > 0.0 && step <= kLongestStep)
            frame.playTime = lastPlayTime + step / pace;
        else
            frame.playTime = timelineEnd;
        lastFrameTime = frame.frameTime;
        lastPlayTime = frame.playTime;
        timelineEnd = frame.playTime + period / pace;
        placedAny = true;
        followsOn = true;
        sound.picture(frame.frameTime, frame.playTime, period, cut);
        cut = false;
    }
    for (PictureFrame& frame : frames)
        queue.tryPut(frame);
    frames.clear();
}

void PlaybackTimeline::clear(double from, bool paused) {
    // Before the flush: a screen that sees the new serial sees where it begins.
    core.screen.restartTime = from;
    core.screen.handedAll = false;
    queue.flush();
    sound.restart();
    if (audio != nullptr) {
        audio->retry();
        audio->flush();
        audio->setPaused(paused);
    }
    timelineEnd = 0.0;
    placedAny = false;
    core.screenWakeup.notify();
}

#pragma once

// Where the pictures handed on go on the playback timeline, and their sound
// with them: within a run of pictures the timeline follows their
// timestamps, across a cut the next picture starts one frame period after
// the last. It owns the playback buffer's bounds and numbers the frames
// handed on. Used by the decoding thread.

#include "PlaybackQueue.h"
#include "PlayerCore.h"

#include <cstdint>
#include <vector>

class PlaybackSound;
class SoundSink;

class PlaybackTimeline {
public:
    // The playback buffer stops filling at this many frames or this many
    // bytes of pictures, whichever comes first.
    static constexpr int32_t BUFFER_TARGET = 300;
    static constexpr int64_t BUFFER_BUDGET = int64_t{192} << 20;

    PlaybackTimeline(PlaybackQueue& queue, PlaybackSound& sound, SoundSink* audio,
                     PlayerCore& core);

    void setBounds(int32_t frames, int64_t bytes) { bufferTarget = frames, bufferBudget = bytes; }
    int64_t budget() const { return bufferBudget; }
    // How full the buffer is, 1 at whichever bound it stops at.
    double fill() const;
    // Room for a picture (or a fragment) of comingBytes; a save halves the budget.
    bool hasRoom(int64_t comingBytes, bool saving) const;

    void setFramePeriod(double seconds) { period = seconds; }
    double framePeriod() const { return period; }
    // A second of video lasts 1 / speed on the timeline from now on.
    void setSpeed(double chosen);
    double speed() const { return pace; }

    // The frames the next call numbers start after this many.
    int32_t handedOn() const { return numbered; }
    // Numbers frames from the next number on; counted, the numbers are
    // taken. A decided fragment counts its frames whether kept or not (skip).
    void number(std::vector<PictureFrame>& frames, bool counted);
    void skip(int32_t frames) { numbered += frames; }

    // Places the frames on the timeline and hands them to the buffer, and
    // their sound to the sound sink. The first frame follows the last one
    // placed when it is the next picture of the video; else it starts right
    // after it, and its sound fades in after a fade out.
    void place(std::vector<PictureFrame>& frames, bool followsOn);
    // Empties the buffer and the sound, for pictures placed from 0 again,
    // which begin at `from` in the video; the screen hears of it at once.
    void clear(double from, bool paused);

private:
    PlaybackQueue& queue;
    PlaybackSound& sound;
    SoundSink* const audio;
    PlayerCore& core;
    int32_t bufferTarget = BUFFER_TARGET;
    int64_t bufferBudget = BUFFER_BUDGET;
    double period = 1.0 / 25;
    double pace = 1.0;
    int32_t numbered = 0;
    // Where the next frame goes when it does not follow on, and the last
    // frame placed.
    double timelineEnd = 0.0;
    double lastFrameTime = 0.0;
    double lastPlayTime = 0.0;
    bool placedAny = false;
};

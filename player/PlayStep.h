#pragma once

// Play mode's side of the decoding loop: the video read straight on from
// where it was sought, a fragment's worth at a time while the buffer has
// room, and the pictures before the one shown for a step back in a pause.

#include "Picture.h"

#include <limits>
#include <vector>

class PlaybackReader;
class PlaybackTimeline;

class PlayStep {
public:
    PlayStep(PlaybackReader& playback, PlaybackTimeline& timeline)
        : playback(playback), timeline(timeline) {}

    // Hands on what there is room for; false when nothing was (the buffer
    // is full, or the video has ended).
    bool step(bool saving);
    // Read from the start again (a seek, a new placement).
    void restart() { endOfStream = false; }
    // Hands on no picture before this time: the one on screen is not shown twice.
    void startAfter(double time) { playFrom = time; }
    void clear() { playFrom = -std::numeric_limits<double>::infinity(); }
    // Up to `count` pictures before the one shown at `shown`, read from the
    // key frame before them (Stepped); Restart when there are none to read.
    enum class Back { Stepped, Nothing, Restart };
    Back stepBack(int count, double shown, std::vector<PictureFrame>& frames);
    bool ended() const { return endOfStream; }

private:
    PlaybackReader& playback;
    PlaybackTimeline& timeline;
    bool endOfStream = false;
    double playFrom = 0.0;
};

#pragma once

// Where shots begin and which pictures are junk, found from the frames'
// colour descriptors alone as the frames come, in the video's order: no
// second look at the pictures.
//
// A hard cut is a frame difference far above the recent mean of the frame
// differences within the shot (the mean follows motion, so a pan or a zoom
// is not cut up), and above a floor that grain and compression never reach.
// A jump that comes back within a few frames is a flash, not a cut. A
// dissolve or a fade of up to a second raises the difference across a
// fixed span of frames above its own recent mean in the same way, and is a
// transition when the frames before and after it are as far apart as a cut.
// A change of light, which keeps the picture's layout, is neither. A fade to
// or from black is also told by the picture darkening or brightening
// steadily, whatever the differences from one frame to the next.

#include "Descriptors.h"

#include <cstdint>
#include <vector>

// What is known of one frame.
struct FrameMark {
    int32_t shot = 0;      // shots numbered in the order they begin
    bool junk = false;     // black or flat, bars or a test card, noise, a flash, a slate
    bool boundary = false; // inside a transition, or perhaps in one: not to be played
};

// Junk: a flat frame (black, grey, a single colour), colour bars or a test
// card (bands of flat colour down the picture, or the RGB pattern's ramps
// across it), or noise: a wide spread of values with no structure at the
// scale of the blocks that changes from the previous picture by more than
// grain changes a still (without a previous picture, the lack of structure
// alone). Saturated colour and fine texture alone are not junk.
bool isJunkPicture(const Descriptors& picture, const Descriptors* previous = nullptr);

class ShotBoundaries {
public:
    ShotBoundaries();

    // The next frame's descriptors, copied: the frame may go once this returns;
    // slate when its picture shows a clapperboard.
    void add(const Descriptors& frame, bool slate = false);
    // Frames added so far.
    int64_t frames() const { return added; }
    // The mark of frame index (counted from 0 since the last reset). Marks
    // of the last kRecall frames may still change as later frames show a
    // flash or a transition; older ones are gone.
    FrameMark mark(int64_t index) const;
    void reset();

    static constexpr int kRecall = 64;

private:
    const Descriptors& recalled(int64_t index) const;
    FrameMark& marked(int64_t index);
    void newShot(int64_t from);
    void checkTransition(int64_t index);
    void followFade(int64_t index);
    // The steady change of [fadeFrom, index) has stopped.
    void endFade(int64_t index);

    std::vector<Descriptors> ring; // of the last kRecall frames
    std::vector<FrameMark> marks;
    std::vector<bool> inFade; // frames of a fade to or from black
    std::vector<double> stepAt; // the difference from the frame before, by frame
    int64_t added = 0;
    int32_t shot = 0;
    int32_t nextShot = 1;
    int64_t shotStart = 0;
    int64_t calmFrom = 0; // the first frame after the last flash
    // Recent differences between consecutive frames and across the span,
    // within shots and outside transitions.
    std::vector<double> steps;
    std::vector<double> spans;
    // A jump not yet known to be a cut or a flash: where it began, the
    // shot before it and the threshold it crossed.
    int64_t jumpAt = -1;
    int32_t shotBeforeJump = 0;
    int64_t shotStartBeforeJump = 0;
    double jumpThreshold = 0.0;
    // A rise of the span difference not yet known to be a transition.
    int64_t riseFrom = -1;
    double riseThreshold = 0.0;
    int64_t relitAt = -1;  // the last change of light
    // Where the frames began to brighten (or darken) steadily, if they do.
    int64_t fadeFrom = -1;
    bool fadeBrightens = false;
    std::vector<double> riseSpans;
};

// A piece's place among the shots, for shot-aware ranking (see
// ShotAwareRanking.h).
struct ShotSpan {
    bool known = false;
    int32_t shot = 0;
    bool junk = false;    // junk, a transition, or a sliver of a shot cut up by them
    bool glimpse = false; // a whole shot, shorter than a second
    bool tail = false;    // a shot's last frames, short of a second, after a piece of it;
                          // of an utterance: it follows a short pause after another
    std::vector<int32_t> alike; // earlier shots it looks like, latest first
    // With Keep Speech Whole (see SpeechPieces.h): an utterance, the pause
    // between two, or a stretch without speech.
    enum class Speech : uint8_t { None, Utterance, Pause, Silence };
    Speech speech = Speech::None;
};

#pragma once

// Keep Speech Whole: summaries that never cut a word. The frames of the video
// are cut again, before the tree sees them, at the places where nobody
// speaks: each utterance (speech up to a pause of 0.4 s) is one
// piece with a frame of the pause before it and two after, so that whatever
// the tree keeps starts and ends in a pause; an utterance of more than 12 s
// is cut at its longest inner pause. What lies between two utterances is a
// pause piece of its own, and a pause of a second or more, or any stretch
// without speech, goes in pieces as the summary without speech would cut it
// (a second each, and with shot-aware ranking at the cuts too). A candidate
// gains most for an utterance that shows what it does not yet show, less for
// one more over the same picture, and loses for pauses and for what it keeps
// without speech, so that it holds to whole utterances while the target can
// be met with them (see inclusionGain).
//
// A video whose sound is not known (none, or none that could be decoded) is
// cut as it would be without this option.

#include "Frame.h"
#include "ShotAwareRanking.h"
#include "ShotBoundaries.h"

#include <cstdint>
#include <deque>
#include <memory>

class FrameBuffer;
class SegmentDistanceMemo;

class SpeechPieces {
public:
    // Every piece is told the shot it shows (most of its frames'); withShots
    // (shot-aware ranking), the pieces without speech also end at cuts and
    // junk.
    void reset(bool withShots);
    // The frames of the next fragment of the video, taken from it.
    void add(FrameBuffer& fragment);
    // No frame follows: what is held can go into pieces.
    void end();
    // The next piece whose frames are all known, or null for now.
    std::unique_ptr<FrameBuffer> next();

    // An utterance longer than this is cut at its longest inner pause.
    static constexpr double kLongestUtterance = 12.0;

private:
    struct Held {
        Frame frame;
        FrameMark mark;
        bool known = false;
        bool voice = false;
    };
    void learnMarks();
    // The time frame k of what is held starts at.
    double timeOf(size_t k) const;
    size_t knownFrames() const;
    // How many frames from the front make the next piece, and of what kind;
    // 0 while that is not yet known.
    size_t utteranceAtFront(ShotSpan* span) const;
    // A stretch without speech of `stretch` frames from the front (which is
    // all of it when stretchEnds), in pieces as without speech.
    size_t silenceAtFront(ShotSpan* span, size_t stretch, bool stretchEnds) const;
    // The longest run of frames without speech inside [from, to), as the
    // frame to cut at (its middle); 0 when there is none.
    size_t longestInnerPause(size_t from, size_t to) const;
    int32_t shotOf(size_t from, size_t n) const;

    bool withShots = false;
    ShotBoundaries boundaries;
    std::deque<Held> held;
    int64_t heldFrom = 0;
    int64_t knownTo = 0; // frames before this one have their marks
    bool ended = false;
    // Whether the last piece ended an utterance, and when the pause after
    // its speech began (the pause's length tells a short one from a long one).
    bool afterSpeech = false;
    double pauseFrom = 0.0;
    // The last piece was a short pause after an utterance: the utterance
    // that follows it is told so (ShotSpan::tail).
    bool shortPause = false;
    double frameTime = 0.04; // one frame's time, from the first two frames
    SegmentDistanceMemo* memo = nullptr;
    EarlierShots earlier;
};

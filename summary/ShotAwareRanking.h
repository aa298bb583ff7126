#pragma once

// Shot-aware ranking: summaries that show the video's distinct shots, each
// for at least a second, before they dwell on any, never play across a cut
// or a transition and keep junk out.
//
// The fragments of the video are cut again, before the tree sees them, into
// pieces that each lie in one shot (ShotPieces): from its cut, a shot of a
// second or more gives pieces of a second (the last up to a second and a
// half), so that whatever the tree keeps of it is a whole second at least;
// what is left at its end, short of a second, is a tail worth keeping only
// after the piece before it; junk and transition frames go into pieces of
// their own, which are never worth keeping. A candidate then earns, for
// every piece it keeps, a gain: much for the first piece of a shot not yet
// kept, little for more of a shot already kept, and a loss for a shot that
// looks like one kept before (a further take of a scene, a shot that
// returns), for a shot too short to be seen and, most, for junk. Its score
// is the sum of its gains less a cost for every fragment's worth it lies off
// the target length, with the weighted ranking only breaking ties.

#include "Frame.h"
#include "ShotBoundaries.h"

#include <cstdint>
#include <deque>
#include <memory>

class FrameBuffer;
class SegmentDistanceMemo;

// Pictures of the latest shots' first pieces, to tell which earlier shots a
// new piece looks like (a shot that returns, a further take of a scene).
class EarlierShots {
public:
    // Names in piece.shotSpan.alike the earlier shots the piece looks like,
    // latest first, and remembers its pictures.
    void compare(FrameBuffer& piece);
    void reset() { looks.clear(); }

private:
    struct Looks {
        int32_t shot = 0;
        size_t pieces = 0;
        std::vector<DifferencePoint> points;
    };
    std::deque<Looks> looks;
};

class ShotPieces {
public:
    // The frames of the next fragment of the video, taken from it.
    void add(FrameBuffer& fragment);
    // No frame follows: what is held can go into pieces.
    void end();
    // The next piece whose frames are all known, or null for now.
    std::unique_ptr<FrameBuffer> next();
    void reset();

    // A piece holds at most twice this many frames; a shot at least this long
    // is cut only into pieces at least this long.
    static constexpr int32_t kSecond = 25;
    // A shot's last frames make a piece of their own from this many on.
    static constexpr int32_t kShortestTail = 13;
    // A frame's mark is final once this many frames have followed it: the
    // longest a transition is looked back on (ShotBoundaries), with room to
    // spare.
    static constexpr int64_t kSettled = 48;

private:
    struct Held {
        Frame frame;
        FrameMark mark;
        bool known = false;
    };
    // Whether frames [0, n) of what is held form a piece now, and of what kind.
    enum class Kind { None, Shot, Junk, Glimpse, Tail };
    Kind pieceAtFront(int32_t* n) const;
    void learnMarks();

    ShotBoundaries boundaries;
    std::deque<Held> held; // frames not yet in a piece, from frame heldFrom on
    int64_t heldFrom = 0;
    int64_t knownTo = 0; // frames before this one have their marks
    int32_t shotBefore = -1; // the shot of the last frame that went into a piece
    bool lastPlayed = false; // and whether that piece was one to play
    bool ended = false;
    SegmentDistanceMemo* memo = nullptr; // the fragments', for the pieces too
    EarlierShots earlier;
};

// What keeping a piece adds to a candidate: lastKept is the span of the
// candidate's last kept piece before it (null when none), keptBefore how many
// pieces before it that one is (1: the one just before; 0: none), and seen whether the candidate
// already shows what the piece shows (a kept piece near it, or a kept shot
// it looks like: a shot that returns, a further take of a scene).
double inclusionGain(const ShotSpan& span, const ShotSpan* lastKept, int32_t keptBefore,
                     bool seen);

// The leaf's score from its gains, its length against the target and the
// weighted ranking's score. While the video goes on a leaf may lie a little
// off its target at a small cost, so that a summary may stay on a take
// rather than take a repeat to keep pace; once it has ended (`ended`), the
// whole cost holds, but for whole utterances (`wholeSpeech`), which may lie a
// few hundredths of the target off it at the small cost rather than keep a
// pause to make up the length; and while the levels after the video's end
// are grown again (remainingFrames of it left after the leaf, else -1), no
// further off than the rest of the video can still make up.
double shotAwareScore(double gains, int32_t summaryFrames, int32_t totalFrames, double targetLength,
                      int32_t fragmentFrames, double rankingScore, bool ended,
                      bool wholeSpeech = false, int64_t remainingFrames = -1);

#include "ShotAwareRanking.h"

#include "FrameBuffer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

static_assert(ShotPieces::kSettled < ShotBoundaries::kRecall,
              "marks must be read before they are gone");

// A kept piece's gain: the first of a shot is what a summary is for; more of
// a shot already shown adds little; a further take of a scene shown before
// (or a shot that returns) loses, and junk loses more, but both less than
// the length they make up for, so that a video of nothing else still meets
// its target.
constexpr double kNewShotGain = 1.0;
constexpr double kDwellGain = 0.1;
constexpr double kRepeatGain = -1.0;
// A shot shorter than a second is seen only in passing (and may be no shot
// at all, but the middle of a transition): kept only for the length.
constexpr double kGlimpseGain = -0.5;
constexpr double kJunkLoss = 1.4;
// Every fragment's worth off the target costs more than a new shot gains,
// so no shot is bought with length.
constexpr double kLengthCost = 1.5;
// While the video goes on, the first part of a fragment's worth off the
// target costs less: more than a further second of a shot is worth, less
// than a new shot. A summary may then stay on a take a little ahead of its
// target rather than take the next take to keep pace.
constexpr double kLengthSlack = 0.6;
constexpr double kSlackCost = 0.15;
// A piece with a picture this near to one of an earlier shot looks like it.
constexpr double kAlikeDifference = 0.1;
// What is remembered of the shots: the first, middle and last pictures of
// their first pieces, for the latest shots.
constexpr size_t kRememberedShots = 64;
constexpr size_t kPiecesRemembered = 4;
// With Keep Speech Whole: an utterance is what a summary of a talk is for,
// one more over a picture already shown less; a pause between two, and a
// stretch without speech, are kept only for the length, the pieces of such a
// stretch ranked among themselves as without speech (a new shot first, junk
// last), though never so low that a video without speech misses its target.
constexpr double kUtteranceGain = 1.0;
constexpr double kSpokenAgainGain = 0.5;
constexpr double kPauseGain = -0.8;
// How far off its target, as a share of it, a summary of whole utterances
// may end at the small cost.
constexpr double kSpeechLengthSlack = 0.07;
// (In fragments' worth, a second each at 25 frames a second.) While the
// video goes on, a summary of whole utterances may fall behind its
// target by as much as the longest utterance, and run a few seconds ahead of
// it, at a cost that a pause or a stretch without speech kept to make up for
// it does not earn back, nor a further utterance that puts it further ahead:
// it keeps pace with utterances, not with pauses.
constexpr double kSpeechBehindSlack = 12.0;
constexpr double kSpeechBehindCost = 0.15;
constexpr double kSpeechAheadSlack = 3.0;
constexpr double kSpeechSlackCost = 0.3;
// Past that share at the end, each second off costs more than an utterance
// gains: an utterance is not bought with length.
constexpr double kSpeechEndCost = 3.0;
// Leaving out a short pause between two kept utterances (it may be a comma's)
// costs more than keeping it.
constexpr double kShortPauseCut = 1.0;
constexpr double kSilentShotGain = -0.6;
constexpr double kSilentDwellGain = -0.8;
constexpr double kSilentGlimpseGain = -0.9;
// The weighted ranking only orders candidates that are otherwise equal.
constexpr double kRankingShare = 0.1;

bool playable(const FrameMark& mark) {
    return !mark.junk && !mark.boundary;
}

} // namespace

void ShotPieces::add(FrameBuffer& fragment) {
    memo = fragment.distanceMemo;
    // Marks are read frame by frame: a whole fragment later, the oldest ones
    // needed could be gone.
    for (Frame& frame : fragment.frames) {
        boundaries.add(frame.descriptors, frame.slate);
        held.push_back({std::move(frame), {}, false});
        learnMarks();
    }
    fragment.frames.clear();
}

void ShotPieces::end() {
    ended = true;
    learnMarks();
}

void ShotPieces::reset() {
    boundaries.reset();
    held.clear();
    heldFrom = 0;
    knownTo = 0;
    shotBefore = -1;
    lastPlayed = false;
    ended = false;
    memo = nullptr;
    earlier.reset();
}

void ShotPieces::learnMarks() {
    const int64_t settledBelow = ended ? boundaries.frames() : boundaries.frames() - kSettled;
    for (; knownTo < settledBelow; ++knownTo) {
        Held& h = held[static_cast<size_t>(knownTo - heldFrom)];
        h.mark = boundaries.mark(knownTo);
        h.known = true;
    }
}

ShotPieces::Kind ShotPieces::pieceAtFront(int32_t* n) const {
    if (held.empty() || !held.front().known)
        return Kind::None;
    const FrameMark& first = held.front().mark;
    const bool plays = playable(first);
    // The run of known frames of the front's shot and kind, and whether it
    // is known to end there.
    int32_t run = 0;
    bool runEnds = false;
    bool shotGoesOn = false; // the frame after the run is of the same shot
    for (const Held& h : held) {
        if (!h.known)
            break;
        if (h.mark.shot != first.shot || playable(h.mark) != plays) {
            runEnds = true;
            shotGoesOn = h.mark.shot == first.shot;
            break;
        }
        ++run;
    }
    runEnds |= ended && run == static_cast<int32_t>(held.size());
    if (!plays) {
        *n = std::min(run, kSecond);
        return runEnds || run >= kSecond ? Kind::Junk : Kind::None;
    }
    // A shot goes in pieces of a second from its cut; what is left at its
    // end joins the last piece when it is short, else makes a tail.
    if (run >= 2 * kSecond || (runEnds && run >= kSecond + kShortestTail)) {
        *n = kSecond;
        return Kind::Shot;
    }
    if (!runEnds)
        return Kind::None;
    *n = run;
    if (run >= kSecond)
        return Kind::Shot;
    if (shotBefore == first.shot)
        return lastPlayed ? Kind::Tail : Kind::Junk;
    // A part shorter than a second of a shot that a flash or junk cuts up is
    // not worth watching; a whole shot that short may still be kept.
    return shotGoesOn ? Kind::Junk : Kind::Glimpse;
}

std::unique_ptr<FrameBuffer> ShotPieces::next() {
    int32_t n = 0;
    const Kind kind = pieceAtFront(&n);
    if (kind == Kind::None)
        return nullptr;
    auto piece = std::make_unique<FrameBuffer>(kSecond);
    piece->frames.reserve(static_cast<size_t>(n));
    const int32_t shot = held.front().mark.shot;
    for (int32_t k = 0; k < n; ++k) {
        piece->frames.push_back(std::move(held.front().frame));
        held.pop_front();
    }
    heldFrom += n;
    piece->length = n;
    piece->distanceMemo = memo;
    piece->shotSpan = {true, shot, kind == Kind::Junk, kind == Kind::Glimpse, kind == Kind::Tail, {}};
    shotBefore = shot;
    lastPlayed = kind != Kind::Junk;
    if (lastPlayed)
        earlier.compare(*piece);
    return piece;
}

void EarlierShots::compare(FrameBuffer& piece) {
    const int32_t shot = piece.shotSpan.shot;
    const int32_t n = piece.count();
    const DifferencePoint mine[] = {differencePoint(piece.frames.front().descriptors),
                                    differencePoint(piece.frames[n / 2].descriptors),
                                    differencePoint(piece.frames.back().descriptors)};
    for (auto l = looks.rbegin(); l != looks.rend(); ++l) {
        if (l->shot == shot)
            continue;
        bool alike = false;
        for (const DifferencePoint& a : mine)
            for (size_t k = 0; k < l->points.size() && !alike; ++k)
                alike = frameDifference(a, l->points[k]) < kAlikeDifference;
        if (alike)
            piece.shotSpan.alike.push_back(l->shot);
    }
    if (looks.empty() || looks.back().shot != shot) {
        looks.push_back({shot, 0, {}});
        if (looks.size() > kRememberedShots)
            looks.pop_front();
    }
    Looks& own = looks.back();
    if (own.pieces++ < kPiecesRemembered)
        own.points.insert(own.points.end(), std::begin(mine), std::end(mine));
}

namespace {

double speechGain(const ShotSpan& span, const ShotSpan* lastKept, int32_t keptBefore, bool seen) {
    const bool sameShot = span.shot >= 0 && lastKept != nullptr && lastKept->known &&
                          lastKept->shot == span.shot;
    switch (span.speech) {
    case ShotSpan::Speech::Utterance: {
        // The utterance before it kept and the short pause between left out:
        // a cut that may well fall inside a sentence.
        const bool pauseCut = span.tail && keptBefore == 2 && lastKept->speech == span.speech;
        return (sameShot || seen ? kSpokenAgainGain : kUtteranceGain) -
               (pauseCut ? kShortPauseCut : 0.0);
    }
    case ShotSpan::Speech::Pause:
        return kPauseGain;
    default:
        break;
    }
    if (span.junk)
        return -kJunkLoss;
    if (span.shot < 0 || sameShot)
        return kSilentDwellGain;
    if (span.glimpse)
        return kSilentGlimpseGain;
    return seen ? kRepeatGain : kSilentShotGain;
}

} // namespace

double inclusionGain(const ShotSpan& span, const ShotSpan* lastKept, int32_t keptBefore,
                     bool seen) {
    if (span.speech != ShotSpan::Speech::None)
        return speechGain(span, lastKept, keptBefore, seen);
    if (span.junk || (span.tail && keptBefore != 1))
        return -kJunkLoss;
    if (span.glimpse)
        return kGlimpseGain;
    if (lastKept != nullptr && lastKept->known && lastKept->shot == span.shot)
        return kDwellGain;
    return seen ? kRepeatGain : kNewShotGain;
}

double shotAwareScore(double gains, int32_t summaryFrames, int32_t totalFrames, double targetLength,
                      int32_t fragmentFrames, double rankingScore, bool ended, bool wholeSpeech,
                      int64_t remainingFrames) {
    const double unit = std::max<int32_t>(fragmentFrames, 1);
    const double behind = (targetLength * totalFrames - summaryFrames) / unit;
    const double off = std::abs(behind);
    double slack = ended ? 0.0 : std::min(off, kLengthSlack);
    double slackCost = kSlackCost;
    double lengthCost = kLengthCost;
    if (wholeSpeech) {
        const double share = kSpeechLengthSlack * targetLength * totalFrames / unit;
        const bool lagging = behind > 0.0 && !ended;
        double running = lagging ? kSpeechBehindSlack : kSpeechAheadSlack;
        if (remainingFrames >= 0) {
            // What the rest can still make up: keeping all of it, or none.
            const double share = lagging ? 1.0 - targetLength : targetLength;
            running = std::min(running, share * static_cast<double>(remainingFrames) / unit);
        }
        slack = std::min(off, ended ? share : std::max(running, share));
        slackCost = lagging ? kSpeechBehindCost : kSpeechSlackCost;
        if (ended)
            lengthCost = kSpeechEndCost;
    }
    const double cost = slackCost * slack + lengthCost * (off - slack);
    return gains - cost + kRankingShare * rankingScore;
}

#include "SpeechPieces.h"

#include "FrameBuffer.h"
#include "ShotAwareRanking.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace {

// Speech goes on across a pause shorter than this; a longer one ends the
// utterance (and is a place to cut).
constexpr double kUtteranceGap = 0.4;
// A pause between two utterances shorter than this may be inside a sentence
// (a comma's): it is worth keeping when both are (see inclusionGain).
constexpr double kShortPause = 0.6;
// A pause this long or longer is left out as a stretch without speech.
constexpr double kLongPause = 1.0;
// Frames of the pause an utterance's piece keeps before its speech and after.
constexpr size_t kLeadFrames = 1;
constexpr size_t kTailFrames = 2;
constexpr size_t kPiece = static_cast<size_t>(ShotPieces::kSecond);
constexpr size_t kShortestPieceTail = static_cast<size_t>(ShotPieces::kShortestTail);

bool playableMark(const FrameMark& mark) {
    return !mark.junk && !mark.boundary;
}

} // namespace

void SpeechPieces::reset(bool shots) {
    withShots = shots;
    boundaries.reset();
    held.clear();
    heldFrom = 0;
    knownTo = 0;
    ended = false;
    afterSpeech = false;
    pauseFrom = 0.0;
    frameTime = 0.04;
    memo = nullptr;
    earlier.reset();
}

void SpeechPieces::add(FrameBuffer& fragment) {
    memo = fragment.distanceMemo;
    for (Frame& frame : fragment.frames) {
        if (heldFrom + static_cast<int64_t>(held.size()) == 1) {
            const double step = frame.frameTime - held.front().frame.frameTime;
            frameTime = std::clamp(std::isfinite(step) ? step : 0.04, 1.0 / 120, 1.0 / 5);
        }
        boundaries.add(frame.descriptors, frame.slate);
        const bool voice = frame.sound.speaks();
        held.push_back({std::move(frame), {}, false, voice});
        learnMarks();
    }
    fragment.frames.clear();
}

void SpeechPieces::end() {
    ended = true;
    learnMarks();
}

void SpeechPieces::learnMarks() {
    const int64_t settledBelow = ended ? boundaries.frames() : boundaries.frames() - ShotPieces::kSettled;
    for (; knownTo < settledBelow; ++knownTo) {
        Held& h = held[static_cast<size_t>(knownTo - heldFrom)];
        h.mark = boundaries.mark(knownTo);
        h.known = true;
    }
}

size_t SpeechPieces::knownFrames() const {
    return static_cast<size_t>(std::max<int64_t>(knownTo - heldFrom, 0));
}

double SpeechPieces::timeOf(size_t k) const {
    return held[k].frame.frameTime;
}

size_t SpeechPieces::longestInnerPause(size_t from, size_t to) const {
    size_t best = 0, bestLength = 0, run = 0;
    for (size_t k = from; k < to; ++k) {
        run = held[k].voice ? 0 : run + 1;
        if (run > bestLength && k + 1 < to && held[k + 1].voice) {
            bestLength = run;
            best = k + 1 - run / 2 - run % 2;
        }
    }
    return best;
}

int32_t SpeechPieces::shotOf(size_t from, size_t n) const {
    std::map<int32_t, size_t> frames;
    for (size_t k = from; k < from + n; ++k)
        ++frames[held[k].mark.shot];
    return std::max_element(frames.begin(), frames.end(), [](const auto& a, const auto& b) {
               return a.second < b.second;
           })->first;
}

size_t SpeechPieces::utteranceAtFront(ShotSpan* span) const {
    const size_t known = knownFrames();
    size_t onset = 0;
    while (onset < known && !held[onset].voice)
        ++onset;
    const auto gapFrames = static_cast<size_t>(std::ceil(kUtteranceGap / frameTime - 1e-9));
    const auto longest = static_cast<size_t>(kLongestUtterance / frameTime);
    size_t lastVoiced = onset;
    size_t end = 0;
    for (size_t k = onset; k < known; ++k) {
        if (held[k].voice)
            lastVoiced = k;
        else if (k - lastVoiced >= gapFrames) {
            end = lastVoiced + 1 + kTailFrames;
            break;
        }
        if (k + 1 - onset > longest) {
            // Too long to keep whole: cut at its longest pause.
            end = longestInnerPause(onset, lastVoiced + 1);
            if (end == 0)
                end = k + 1;
            break;
        }
    }
    if (end == 0) {
        if (!ended || known < held.size())
            return 0;
        end = known; // the video ends while someone speaks
    }
    span->speech = ShotSpan::Speech::Utterance;
    span->shot = shotOf(0, end);
    return end;
}

size_t SpeechPieces::silenceAtFront(ShotSpan* span, size_t stretch, bool stretchEnds) const {
    span->speech = ShotSpan::Speech::Silence;
    const FrameMark& first = held.front().mark;
    const bool plays = !withShots || playableMark(first);
    size_t run = 0;
    while (run < stretch && (!withShots || (held[run].mark.shot == first.shot &&
                                            playableMark(held[run].mark) == plays)))
        ++run;
    const bool runEnds = run < stretch || stretchEnds;
    span->shot = first.shot;
    span->junk = !plays;
    if (run >= 2 * kPiece || (runEnds && run >= kPiece + kShortestPieceTail))
        return kPiece;
    if (!runEnds)
        return 0;
    span->glimpse = plays && run < kPiece;
    return run;
}

std::unique_ptr<FrameBuffer> SpeechPieces::next() {
    const size_t known = knownFrames();
    if (known == 0)
        return nullptr;
    ShotSpan span;
    span.known = true;
    size_t n = 0;
    if (held.front().voice) {
        n = utteranceAtFront(&span);
    } else {
        // A pause: up to the frame before the next speech.
        size_t onset = 0;
        while (onset < known && !held[onset].voice)
            ++onset;
        const bool onsetKnown = onset < known;
        const bool allKnown = ended && known == held.size();
        const double pauseSoFar = timeOf(std::min(onset, known - 1)) - pauseFrom;
        if (onsetKnown && onset <= kLeadFrames) {
            n = utteranceAtFront(&span);
        } else if (afterSpeech && pauseSoFar < kLongPause && (onsetKnown || allKnown)) {
            span.speech = ShotSpan::Speech::Pause;
            span.shot = held.front().mark.shot;
            n = onsetKnown ? onset - kLeadFrames : known;
            span.tail = shortPause = onsetKnown && pauseSoFar < kShortPause;
        } else if (!afterSpeech || pauseSoFar >= kLongPause) {
            const size_t stretch = onsetKnown ? onset - kLeadFrames : known;
            n = silenceAtFront(&span, stretch, onsetKnown || allKnown);
        }
    }
    if (n == 0)
        return nullptr;
    auto piece = std::make_unique<FrameBuffer>(ShotPieces::kSecond);
    piece->frames.reserve(n);
    for (size_t k = 0; k < n; ++k) {
        piece->frames.push_back(std::move(held.front().frame));
        held.pop_front();
    }
    heldFrom += static_cast<int64_t>(n);
    piece->length = static_cast<int32_t>(n);
    piece->distanceMemo = memo;
    if (span.speech == ShotSpan::Speech::Utterance) {
        // Where the pause after it began: its speech's last frame is kTailFrames
        // before the piece's end, unless it was cut short.
        const bool whole = held.empty() || !held.front().voice;
        span.tail = shortPause;
        afterSpeech = true;
        const size_t spoken = piece->frames.size() > kTailFrames && whole ? n - kTailFrames : n;
        pauseFrom = piece->frames[spoken - 1].frameTime + frameTime;
    }
    if (span.speech != ShotSpan::Speech::Pause)
        shortPause = false;
    piece->shotSpan = std::move(span);
    if (!piece->shotSpan.junk && piece->shotSpan.speech != ShotSpan::Speech::Pause)
        earlier.compare(*piece);
    return piece;
}

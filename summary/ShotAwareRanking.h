#pragma once

// Shot-aware ranking: summaries that show the video's distinct shots before
// they dwell on any, never play across a cut and keep junk out.
//
// Each fragment is trimmed, before the tree sees it, to its main shot: the
// longest run of its frames in one shot, clear of junk and transitions
// (ShotBoundaries). A candidate then earns, for every fragment it keeps, a
// gain: much for the first fragment of a shot not yet kept, little for more
// of a shot already kept or for a shot that looks like one kept before, and
// a heavy loss for a fragment with no watchable run. Its score is the sum of
// its gains less a cost for every fragment's worth it lies off the target
// length, with the weighted ranking only breaking ties.

#include <cstdint>

class FrameBuffer;
class ShotBoundaries;
struct ShotSpan;

// Feeds the fragment's frames to boundaries, in order, then trims it to its
// main shot and records where that lies in fragment.shotSpan.
void trimToMainShot(FrameBuffer& fragment, ShotBoundaries& boundaries);

// What keeping a fragment adds to a candidate: lastKept is the span of the
// candidate's last kept fragment before it (null when none), and nearest the
// least distance from the fragment to the candidate's kept fragments.
double inclusionGain(const ShotSpan& span, const ShotSpan* lastKept, double nearest);

// The leaf's score from its gains, its length against the target and the
// weighted ranking's score.
double shotAwareScore(double gains, int32_t summaryFrames, int32_t totalFrames, double targetLength,
                      int32_t fragmentFrames, double rankingScore);

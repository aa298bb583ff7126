#pragma once

// What the quality bench counts of a summary against the truth of its video:
// what a viewer sees of it (QualityVideos.h), summed over summaries before
// the shares are taken.

#include "QualityBaselines.h"
#include "QualityVideos.h"

#include <algorithm>
#include <vector>

inline double share(int part, int whole) {
    return whole > 0 ? static_cast<double>(part) / whole : 0.0;
}

// Counts over one or more summaries, summed before the shares are taken. A
// piece is a run of kept frames of one shot; a subject is what a viewer takes
// for the same thing (see FrameTruth).
struct Tally {
    int keptFrames = 0;
    int subjects = 0; // distinct subjects in the videos
    int covered = 0;  // of those, subjects that most of a kept fragment shows
    int showable = 0; // subjects with a shot of a second or more
    int shown = 0;    // of those, subjects a piece shows for a second outside transitions
    int repeatFrames = 0;
    int junkFrames = 0;
    int transitionFrames = 0;
    int dwellFrames = 0;
    int fragments = 0;
    int straddling = 0;
    int pieces = 0; // of shots of a second or more
    int shortPieces = 0;
    double minRatio = 1e9; // kept / target length, over the videos long enough
    double maxRatio = 0.0;

    void add(const Tally& t) {
        keptFrames += t.keptFrames;
        subjects += t.subjects;
        covered += t.covered;
        showable += t.showable;
        shown += t.shown;
        repeatFrames += t.repeatFrames;
        junkFrames += t.junkFrames;
        transitionFrames += t.transitionFrames;
        dwellFrames += t.dwellFrames;
        fragments += t.fragments;
        straddling += t.straddling;
        pieces += t.pieces;
        shortPieces += t.shortPieces;
        minRatio = std::min(minRatio, t.minRatio);
        maxRatio = std::max(maxRatio, t.maxRatio);
    }
    double coverage() const { return share(covered, subjects); }
    double oneSecond() const { return share(shown, showable); }
    double shortShare() const { return share(shortPieces, pieces); }
    double repeats() const { return share(repeatFrames, keptFrames); }
    double junk() const { return share(junkFrames, keptFrames); }
    double transitions() const { return share(transitionFrames, keptFrames); }
    double dwell() const { return share(dwellFrames, keptFrames); }
    double straddle() const { return share(straddling, fragments); }
    bool lengthMeasured() const { return maxRatio > 0.0; }
};

// The tally of one summary of the video at the target.
Tally measure(const std::vector<FrameTruth>& truth, const std::vector<KeptFrames>& kept,
              double target);

// What the junk filter does to ordinary footage and to junk when it may keep
// everything else: clean fragments of ordinary shots kept, junk frames left out.
struct FilterTally {
    int ordinary = 0;
    int ordinaryKept = 0;
    int junk = 0;
    int junkLeftOut = 0;
};

void measureFilter(const std::vector<FrameTruth>& truth, const std::vector<KeptFrames>& kept,
                   FilterTally* tally);

#pragma once

// What the quality bench counts of a summary of a talk against its truth
// (QualityTalks.h): how much of the speech it keeps is in whole sentences,
// whether its cuts fall in the pauses, how much silence it keeps, and how
// many of the pictures it shows with a whole sentence. Counts of several
// summaries are summed before the shares are taken.

#include "QualityBaselines.h"
#include "QualityTalks.h"

#include <algorithm>
#include <vector>

// A sentence kept at least this much of is kept whole.
constexpr double kWholeSentence = 0.9;
// A cut further than this inside a sentence cuts it.
constexpr double kCutSlack = 0.15;

struct SpeechTally {
    double kept = 0.0;        // seconds
    double keptSpeech = 0.0;  // of those, in sentences
    double wholeSpeech = 0.0; // of those, in sentences kept whole
    int cuts = 0;             // starts and ends of kept runs, but the video's own
    int cutsInside = 0;       // of those, inside a sentence
    // Sums over summaries of the share of pictures shown, and of what the
    // target allows (see measureSpeech); their means are taken.
    double shown = 0.0;
    double allowed = 0.0;
    int summaries = 0;
    double minRatio = 1e9; // kept / (target x duration)
    double maxRatio = 0.0;

    void add(const SpeechTally& t) {
        kept += t.kept;
        keptSpeech += t.keptSpeech;
        wholeSpeech += t.wholeSpeech;
        cuts += t.cuts;
        cutsInside += t.cutsInside;
        shown += t.shown;
        allowed += t.allowed;
        summaries += t.summaries;
        minRatio = std::min(minRatio, t.minRatio);
        maxRatio = std::max(maxRatio, t.maxRatio);
    }
    static double of(double part, double whole) { return whole > 0.0 ? part / whole : 0.0; }
    double whole() const { return of(wholeSpeech, keptSpeech); }
    double inside() const { return of(cutsInside, cuts); }
    double pauses() const { return of(kept - keptSpeech, kept); }
    double shots() const { return of(shown, summaries); }
    double allowedShots() const { return of(allowed, summaries); }
    bool lengthMeasured() const { return maxRatio > 0.0; }
};

// The tally of one summary of the talk at the target, its kept frames at the
// talk's frame rate. A picture (a shot id) is shown when a sentence kept
// whole lies mostly in a shot of it; only pictures that a sentence lies
// mostly in count (one nobody speaks over cannot be shown by a sentence).
// What the target allows is min(1, target x duration / (pictures x the
// median sentence's length)): the share of the pictures it could show with
// one whole sentence each.
SpeechTally measureSpeech(const TalkTruth& truth, const std::vector<KeptFrames>& kept,
                          double target);

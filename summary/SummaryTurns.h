#pragma once

// The summarising loop, written once for the player and the tool: in each
// turn at most one fragment goes from the analysis reader to the Summarizer
// and at most one decision comes out. The turns alone fix the decisions, so
// every caller that takes them keeps the same fragments whatever its pace.

#include "FragmentSource.h"
#include "Summarizer.h"

#include <cstdint>
#include <optional>

class SummaryTurns {
public:
    SummaryTurns(FragmentSource& analysis, Summarizer& summarizer)
        : analysis(analysis), summarizer(summarizer) {}

    // The fragment of this turn, when the summary wants one: the next one
    // read, or the news that the video ended.
    void offerFragment();
    // A fragment may go in without making a decision due: what a caller
    // that cannot take a decision now may still do.
    bool fragmentWithoutDecision() const {
        return summarizer.wantsFragment() && summarizer.depth() + 1 < summarizer.depthLimit();
    }
    bool decisionDue() const { return summarizer.canDecide(); }
    // The decision of this turn, when one is due (see Summarizer::decide).
    std::optional<Decision> takeDecision(bool includeNext = false);
    bool finished() const { return summarizer.finished(); }
    // The video has ended: the fragments left are all in the tree.
    bool ended() const { return summarizer.ended(); }

    // Frames of the fragments decided so far, kept or not.
    int64_t framesDecided() const { return decidedFrames; }

private:
    FragmentSource& analysis;
    Summarizer& summarizer;
    int64_t decidedFrames = 0;
};

#pragma once

// What the user chooses for a summary: the target length, the four weights
// of the candidate ranking, the tree limits and the junk filter. The
// defaults are where the window starts and what a run without a window takes
// unless told; their names and ranges are in SettingsSchema.h.

#include "SettingsSchema.h"

struct SummarySettings {
    double target = settingEntry(Setting::Target).fallback; // a fraction of the video
    double lengthWeight = settingEntry(Setting::LengthWeight).fallback;
    double continuityWeight = settingEntry(Setting::ContinuityWeight).fallback;
    double redundancyWeight = settingEntry(Setting::RedundancyWeight).fallback;
    double activityWeight = settingEntry(Setting::ActivityWeight).fallback;
    int depth = static_cast<int>(settingEntry(Setting::Depth).fallback); // tree depth limit
    int nodes = static_cast<int>(settingEntry(Setting::Nodes).fallback); // tree node limit
    bool junkFilter = false;
    bool shotAware = false;   // see ShotAwareRanking.h
    bool wholeSpeech = false; // see SpeechPieces.h

    bool operator==(const SummarySettings&) const = default;
};

// The target length and the four weights as the candidate ranking reads them.
struct RankingWeights {
    double targetLength = SummarySettings{}.target;
    double length = SummarySettings{}.lengthWeight;
    double continuity = SummarySettings{}.continuityWeight;
    double redundancy = SummarySettings{}.redundancyWeight;
    double activity = SummarySettings{}.activityWeight;
    bool shotAware = false;
    bool wholeSpeech = false;

    // A candidate is scored by the gains of what it keeps (see
    // ShotAwareRanking.h), the weighted ranking only breaking ties.
    bool byGains() const { return shotAware || wholeSpeech; }

    static RankingWeights of(const SummarySettings& s) {
        return {s.target,         s.lengthWeight, s.continuityWeight, s.redundancyWeight,
                s.activityWeight, s.shotAware,    s.wholeSpeech};
    }
};

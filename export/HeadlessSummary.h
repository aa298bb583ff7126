#pragma once

// Runs the summary engine over a whole video without a window: fragments are
// described (their pictures let go at once) and handed to the Summarizer
// as fast as the video decodes, and every decision is taken as soon as the
// engine can take it. The decisions are the player's in Summary mode started
// at 0 with the same settings, Automatic Control and Avoid Empty Buffer off.
// A video whose analysis is in the store is summarised from there, without
// decoding, or from a descriptor file; one that is not is kept there as it
// is analysed.

#include "Analysis.h"
#include "SegmentList.h"
#include "Summarizer.h"
#include "SummarySettings.h"
#include "VideoReader.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class HeadlessSummary {
public:
    // Called with each kept fragment, in decoding order, and the engine's
    // decision for it (with what its frames looked like, to read their
    // pictures again). keptFragments() already ends with the fragment.
    // Returning false stops the run.
    using KeptCallback = std::function<bool(const KeptFragment&, const Decision&)>;
    // Called after every turn with the seconds and pictures decoded so far.
    // Returning false stops the run.
    using ProgressCallback = std::function<bool(double position, int64_t pictures)>;

    HeadlessSummary(std::string path, const SummarySettings& settings,
                    StoreConfig store = StoreConfig::off())
        : HeadlessSummary(std::move(path), settings, AnalysisSources::storeOnly(std::move(store))) {
    }
    // decoderThreads: the analysis' decoder threads in all, 0 for one per
    // core; they are shared among ranges of the video decoded side by side
    // (see rangePolicy), or all go to one pass for a video that cannot be split. Fewer, or ranges, do not change
    // the decisions, and the store's key still names one per core (see
    // AnalysisSources).
    HeadlessSummary(std::string path, const SummarySettings& settings, AnalysisSources sources,
                    int decoderThreads = 0);

    // True when the video was read to its end and every fragment decided;
    // false when a callback stopped the run.
    bool run(const KeptCallback& onKept, const ProgressCallback& onProgress = {});
    // When the analysis comes ready (from the store or a descriptor file),
    // the kept fragments go to onKept only once every fragment is decided
    // and the tree and the analysis are freed, so that whatever reads their
    // pictures again does not hold its memory beside theirs. Meanwhile the
    // progress stays at 0; afterwards it is the end of each fragment handed on.
    void setHoldKept(bool hold) { holdKept = hold; }

    const std::vector<KeptFragment>& keptFragments() const { return kept; }
    // Pictures the analysis took, decoded or read back from the store.
    int64_t picturesDecoded() const { return decoded; }
    // Where the last fragment decided ends, in seconds on the video's clock:
    // as far as the video could be read, after a whole run.
    double decidedEnd() const { return decidedUntil; }
    // The analysis has read the whole video: what is left of the run is
    // deciding the last fragments and handing the kept ones on.
    bool allRead() const { return readAll; }
    // The last run read the analysis from the store.
    bool fromStore() const { return stored; }
    // What went wrong with the store or a descriptor file in the last run.
    const std::vector<std::string>& storeNotices() const { return notices; }
    // After a whole run with sources.keepPortable: the analysis for a
    // descriptor file; null when there is none.
    const PortableAnalysis* portable() const { return havePortable ? &portableResult : nullptr; }

private:
    // The tree's run; kept decisions go to *held instead of onKept when held.
    bool decide(const KeptCallback& onKept, const ProgressCallback& onProgress,
                std::vector<Decision>* held);

    std::string path;
    SummarySettings settings;
    AnalysisSources sources;
    int threads;
    bool holdKept = false;
    std::vector<KeptFragment> kept;
    int64_t decoded = 0;
    double decidedUntil = 0.0;
    bool readAll = false;
    bool stored = false;
    std::vector<std::string> notices;
    PortableAnalysis portableResult;
    bool havePortable = false;
};

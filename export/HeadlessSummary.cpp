#include "HeadlessSummary.h"

#include "Analysis.h"
#include "DistanceHelper.h"
#include "FreedMemory.h"
#include "SummaryTurns.h"
#include "VideoReader.h"

#include <algorithm>
#include <memory>
#include <thread>

HeadlessSummary::HeadlessSummary(std::string videoPath, const SummarySettings& s,
                                 AnalysisSources from, int decoderThreads)
    : path(std::move(videoPath)), settings(s), sources(std::move(from)), threads(decoderThreads) {}

bool HeadlessSummary::run(const KeptCallback& onKept, const ProgressCallback& onProgress) {
    kept.clear();
    decoded = 0;
    decidedUntil = 0.0;
    readAll = false;
    notices.clear();
    havePortable = false;
    std::vector<Decision> held;
    if (!decide(onKept, onProgress, &held))
        return false;
    // The tree and the analysis are gone (their pages too): the held
    // fragments' pictures are read now, each with how far into the video it lies.
    if (!held.empty())
        returnFreedMemory();
    for (size_t i = 0; i < held.size(); ++i) {
        const KeptFragment& fragment = kept[i];
        if (!onKept(fragment, held[i]))
            return false;
        if (onProgress &&
            !onProgress(fragment.end, fragment.firstFrameNumber + fragment.frames - 1))
            return false;
    }
    return true;
}

bool HeadlessSummary::decide(const KeptCallback& onKept, const ProgressCallback& onProgress,
                             std::vector<Decision>* held) {
    ReaderOptions options = storedAnalysisOptions();
    const int perCore = options.decoderThreads;
    // Every thread of the analysis counts against the cap: the ranges' decoders together.
    const int total = threads > 0 ? std::min(threads, perCore) : perCore;
    AnalysisSources from = sources;
    if (from.ranges <= 1) {
        from.ranges = rangePolicy(total).ranges;
        from.rangesWherePaying = true;
    }
    options.decoderThreads = std::max(1, total / from.ranges);
    from.onePassThreads = total;
    from.keyThreads = perCore;
    Analysis analysis(path, options, from);
    FragmentSource& fragments = analysis.fragments();
    stored = analysis.fromStore();
    const double frameDuration = 1.0 / fragments.frameRate();
    const bool ready = analysis.origin() != Analysis::Origin::Decoded;
    const bool hold = holdKept && ready && onKept;

    // Fragments that come ready leave the tree's comparisons as the work:
    // a second core shares them.
    const std::unique_ptr<DistanceHelper> helper = ready ? DistanceHelper::ifCoresAllow() : nullptr;
    Summarizer summarizer(settings);
    summarizer.setDistanceHelper(helper.get());
    SummaryTurns turns(fragments, summarizer);
    bool completed = false;
    for (;;) {
        turns.offerFragment();
        // Kept fragments are numbered as the player numbers the frames it
        // plays, left-out ones counted too.
        const int64_t framesBefore = turns.framesDecided();
        std::optional<Decision> decision = turns.takeDecision();
        if (decision)
            decidedUntil = std::max(decidedUntil, decision->last + frameDuration);
        if (decision && decision->kept) {
            kept.push_back({framesBefore + 1, decision->frames, decision->start,
                            decision->last + frameDuration, decision->shot});
            if (hold)
                held->push_back(std::move(*decision));
            else if (onKept && !onKept(kept.back(), *decision))
                break;
        }

        decoded = fragments.picturesRead();
        readAll = turns.ended();
        // While the fragments held wait, the run has not got anywhere yet.
        const double position = hold ? 0.0 : static_cast<double>(decoded) * frameDuration;
        if (onProgress && !onProgress(position, hold ? 0 : decoded))
            break;
        if (turns.finished()) {
            completed = true;
            break;
        }
    }
    for (std::string notice = analysis.takeNotice(); !notice.empty();
         notice = analysis.takeNotice())
        notices.push_back(std::move(notice));
    if (completed && sources.keepPortable)
        havePortable = analysis.portable(&portableResult);
    return completed;
}

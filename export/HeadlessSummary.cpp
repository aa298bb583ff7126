#include "HeadlessSummary.h"

#include "Analysis.h"
#include "DistanceHelper.h"
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
    notices.clear();
    havePortable = false;
    ReaderOptions options = storedAnalysisOptions();
    const int perCore = options.decoderThreads;
    options.decoderThreads = threads > 0 ? std::min(threads, perCore) : perCore;
    AnalysisSources from = sources;
    from.keyThreads = perCore;
    Analysis analysis(path, options, from);
    FragmentSource& fragments = analysis.fragments();
    stored = analysis.fromStore();
    const double frameDuration = 1.0 / fragments.frameRate();

    // Fragments that come ready leave the tree's comparisons as the work:
    // a second core shares them.
    const std::unique_ptr<DistanceHelper> helper =
        analysis.origin() != Analysis::Origin::Decoded ? DistanceHelper::ifCoresAllow() : nullptr;
    Summarizer summarizer(settings);
    summarizer.setDistanceHelper(helper.get());
    SummaryTurns turns(fragments, summarizer);
    bool completed = false;
    for (;;) {
        turns.offerFragment();
        // Kept fragments are numbered as the player numbers the frames it
        // plays, left-out ones counted too.
        const int64_t framesBefore = turns.framesDecided();
        const std::optional<Decision> decision = turns.takeDecision();
        if (decision && decision->kept) {
            kept.push_back({framesBefore + decision->skipped + 1, decision->frames, decision->start,
                            decision->last + frameDuration, decision->shot});
            if (onKept && !onKept(kept.back(), *decision))
                break;
        }

        decoded = fragments.picturesRead();
        if (onProgress && !onProgress(static_cast<double>(decoded) * frameDuration, decoded))
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

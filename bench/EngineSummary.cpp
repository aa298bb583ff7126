#include "EngineSummary.h"

#include "HeadlessSummary.h"
#include "QualityVideos.h"

#include <cmath>

std::vector<KeptFrames> engineSummary(const std::string& path, const SummarySettings& settings) {
    HeadlessSummary summary(path, settings);
    std::vector<KeptFrames> kept;
    if (!summary.run({}))
        return kept;
    for (const KeptFragment& f : summary.keptFragments()) {
        const int first = static_cast<int>(std::lround(f.start * kQualityFrameRate));
        kept.push_back({first, f.frames});
    }
    return kept;
}

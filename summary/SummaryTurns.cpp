#include "SummaryTurns.h"

void SummaryTurns::offerFragment() {
    if (!summarizer.wantsFragment())
        return;
    if (std::unique_ptr<FrameBuffer> fragment = analysis.nextFragment())
        summarizer.addFragment(std::move(fragment));
    else
        summarizer.endOfStream();
}

std::optional<Decision> SummaryTurns::takeDecision(bool includeNext) {
    if (!summarizer.canDecide())
        return std::nullopt;
    std::optional<Decision> decision = summarizer.decide(includeNext);
    if (decision)
        decidedFrames += decision->frames;
    return decision;
}

#include "StoreTimeline.h"

#include "DisplayEvents.h"

StoreTimeline::StoreTimeline(DisplayEvents* events) : timeline(events) {
    timeline->setBand(0.0);
    timeline->setSpans({});
}

StoreSide::Hooks StoreTimeline::hooks() {
    StoreSide::Hooks hooks;
    hooks.analysed = [this](double seconds) {
        std::unique_lock lock(pendingMutex);
        band = seconds;
        bandPending = true;
        schedule(lock);
    };
    for (const bool provisional : {false, true})
        (provisional ? hooks.provisionalMap : hooks.map) =
            [this, provisional](const std::vector<MapSpan>& kept, bool) {
                std::unique_lock lock(pendingMutex);
                spans.clear();
                for (const MapSpan& span : kept)
                    spans.emplace_back(span.start, span.end);
                spansPending = true;
                spansProvisional = provisional;
                schedule(lock);
            };
    return hooks;
}

void StoreTimeline::schedule(std::unique_lock<std::mutex>& lock) {
    if (posted)
        return;
    posted = true;
    lock.unlock();
    QMetaObject::invokeMethod(this, "applyPending", Qt::QueuedConnection);
}

void StoreTimeline::applyPending() {
    std::unique_lock lock(pendingMutex);
    posted = false;
    const bool newBand = std::exchange(bandPending, false);
    const double upTo = band;
    const bool newSpans = std::exchange(spansPending, false);
    std::vector<std::pair<double, double>> drawn;
    if (newSpans)
        drawn.swap(spans);
    const bool provisional = spansProvisional;
    lock.unlock();
    if (newBand)
        timeline->setBand(upTo);
    if (newSpans)
        timeline->setSpans(std::move(drawn), provisional);
}

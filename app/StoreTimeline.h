#pragma once

// Carries what the store's threads find to the timeline on the GUI thread:
// how far the analysis has got and the summary map (provisional or exact). As with the widget
// driver, a worker records the newest state and posts at most one call at a
// time; what an earlier video's threads posted goes with its object.

#include "StoreSide.h"

#include <QObject>

#include <mutex>
#include <utility>
#include <vector>

class DisplayEvents;

class StoreTimeline : public QObject {
    Q_OBJECT

public:
    // Lives on the GUI thread, which owns the timeline; clears its band and map.
    explicit StoreTimeline(DisplayEvents* timeline);

    // Hooks for a StoreSide, callable from any thread while this object lives.
    StoreSide::Hooks hooks();

    // Runs on the GUI thread: hands the newest state to the timeline.
    Q_INVOKABLE void applyPending();

private:
    void schedule(std::unique_lock<std::mutex>& lock);

    DisplayEvents* const timeline;
    std::mutex pendingMutex;
    bool posted = false;
    bool bandPending = false;
    double band = 0.0;
    bool spansPending = false;
    bool spansProvisional = false;
    std::vector<std::pair<double, double>> spans;
};

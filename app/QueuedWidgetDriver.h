#pragma once

// Carries the worker threads' widget updates to the GUI thread, and moves
// the position slider with the player's published position. A request
// records the latest wanted state and posts at most one call at a time, so a
// worker that polls in a tight loop cannot flood the event queue; the GUI
// thread applies only the newest state of each widget.

#include "PlayerState.h"
#include "WidgetDriver.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

struct ControlState;

class QueuedWidgetDriver : public QObject, public WidgetDriver {
    Q_OBJECT

public:
    // Lives on the GUI thread, which must own `state`'s widgets.
    QueuedWidgetDriver(ControlState& state, QObject* parent);
    ~QueuedWidgetDriver() override;

    void setTimelineData(const double* values, int count, double minimum, double maximum,
                         double position, double mark1, double mark2) override;
    void setTreeDepthStrip(double minimum, double maximum, double position, double mark1,
                           double mark2) override;
    void setTreeNodesStrip(double minimum, double maximum, double position, double mark1,
                           double mark2) override;

    // Runs on the GUI thread: hands the pending requests to the widgets.
    Q_INVOKABLE void applyPending();

    // Called on the GUI thread with the state whenever what the window
    // shows of it changes: the mode on screen, the pause, the end, Summary
    // filling its tree. Set on the GUI thread before the workers start.
    std::function<void(const PlayerState&)> onShownChange;

private:
    struct Strip {
        bool pending = false;
        double minimum = 0.0;
        double maximum = 0.0;
        double position = 0.0;
        double mark1 = 0.0;
        double mark2 = 0.0;
    };

    // Marks work as waiting; posts applyPending unless a call is already on its way.
    void schedule(std::unique_lock<std::mutex>& lock);

    ControlState& state;
    std::mutex pendingMutex;
    bool posted = false;
    bool positionPending = false;
    bool shownPending = false;
    // What the window last heard of the mode, the pause and the end.
    std::atomic<int> shownKey{-1};
    // The whole second the slider was last asked to show.
    std::atomic<int> shownSecond{-1};
    Strip timeline;
    Strip treeDepth;
    Strip treeNodes;
    // Filled by the worker; swapped with appliedValues by the GUI thread.
    std::vector<double> timelineValues;
    std::vector<double> appliedValues;
};

#include "QueuedWidgetDriver.h"

#include "ControlState.h"
#include "DisplayEvents.h"

#include <QMetaObject>
#include <QSlider>

#include <algorithm>

QueuedWidgetDriver::QueuedWidgetDriver(ControlState& controls, QObject* parent)
    : QObject(parent), state(controls) {
    timelineValues.reserve(MAX_EVENT_VALUES);
    appliedValues.reserve(MAX_EVENT_VALUES);
    // The slider shows whole seconds: the GUI thread hears of a new one
    // only, and of a change of what the window shows of the mode.
    state.core.state.setListener(this, [this] {
        const auto [second, shown] = state.core.state.read([](const PlayerState& s) {
            return std::pair{static_cast<int>(s.position),
                             static_cast<int>(s.shownMode()) | s.paused << 2 | s.ended << 3 |
                                 s.summaryFilling << 4};
        });
        const bool moved = second != shownSecond.exchange(second);
        const bool changed = shown != shownKey.exchange(shown);
        if (!moved && !changed)
            return;
        std::unique_lock lock(pendingMutex);
        positionPending = positionPending || moved;
        shownPending = shownPending || changed;
        schedule(lock);
    });
}

QueuedWidgetDriver::~QueuedWidgetDriver() {
    state.core.state.setListener(this, {});
    WidgetDriver* self = this;
    state.core.driver.compare_exchange_strong(self, nullptr);
}

void QueuedWidgetDriver::schedule(std::unique_lock<std::mutex>& lock) {
    if (posted) {
        return;
    }
    posted = true;
    lock.unlock();
    // By name, so that nothing built in the caller's thread travels with the call.
    QMetaObject::invokeMethod(this, "applyPending", Qt::QueuedConnection);
}

void QueuedWidgetDriver::setTimelineData(const double* values, int count, double minimum,
                                         double maximum, double position, double mark1,
                                         double mark2) {
    const int kept = values == nullptr ? 0 : std::clamp(count, 0, MAX_EVENT_VALUES);
    std::unique_lock lock(pendingMutex);
    timelineValues.assign(values, values + kept);
    timeline = {true, minimum, maximum, position, mark1, mark2};
    schedule(lock);
}

void QueuedWidgetDriver::setTreeDepthStrip(double minimum, double maximum, double position,
                                           double mark1, double mark2) {
    std::unique_lock lock(pendingMutex);
    treeDepth = {true, minimum, maximum, position, mark1, mark2};
    schedule(lock);
}

void QueuedWidgetDriver::setTreeNodesStrip(double minimum, double maximum, double position,
                                           double mark1, double mark2) {
    std::unique_lock lock(pendingMutex);
    treeNodes = {true, minimum, maximum, position, mark1, mark2};
    schedule(lock);
}

void QueuedWidgetDriver::applyPending() {
    bool movePosition = false;
    bool showState = false;
    Strip newTimeline;
    Strip newDepth;
    Strip newNodes;
    {
        std::lock_guard lock(pendingMutex);
        posted = false;
        std::swap(movePosition, positionPending);
        std::swap(showState, shownPending);
        std::swap(newTimeline, timeline);
        std::swap(newDepth, treeDepth);
        std::swap(newNodes, treeNodes);
        if (newTimeline.pending) {
            timelineValues.swap(appliedValues);
        }
    }
    // The slider follows the picture on screen, except while the user holds it.
    if (movePosition && state.positionSlider != nullptr && !state.positionSlider->isSliderDown())
        state.positionSlider->setValue(static_cast<int>(state.core.state.snapshot().position));
    if (showState && onShownChange)
        onShownChange(state.core.state.snapshot());
    auto apply = [](DisplayEvents* strip, const Strip& s, const std::vector<double>& values) {
        if (strip != nullptr && s.pending) {
            strip->setData(values.data(), static_cast<int>(values.size()), s.minimum, s.maximum,
                           s.position, s.mark1, s.mark2);
        }
    };
    apply(state.timelineEvents, newTimeline, appliedValues);
    apply(state.treeDepthEvents, newDepth, {});
    apply(state.treeNodesEvents, newNodes, {});
}

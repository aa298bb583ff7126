#include "ThreadImageRefresh.h"

#include "DisplayWindow.h"

#include <chrono>

ThreadImageRefresh::ThreadImageRefresh(QWidget* target, uint32_t periodMicroseconds,
                                       std::function<bool()> isDue)
    : QThread(nullptr), widget(target), period(periodMicroseconds), due(std::move(isDue)) {}

ThreadImageRefresh::~ThreadImageRefresh() {
    stop();
    wait();
    // The loop's last touch of this object was under sleepMutex; taking it
    // makes the join visible to race checkers, which do not see inside wait().
    std::lock_guard lock(sleepMutex);
}

void ThreadImageRefresh::stop() {
    {
        std::lock_guard lock(sleepMutex);
        stopRequested = true;
    }
    wakeUp.notify_all();
}

void ThreadImageRefresh::run() {
    const std::chrono::microseconds sleepTime(period);
    std::unique_lock lock(sleepMutex);
    while (!wakeUp.wait_for(lock, sleepTime, [this] { return stopRequested; })) {
        if (!due || due())
            postRepaint(widget);
    }
}

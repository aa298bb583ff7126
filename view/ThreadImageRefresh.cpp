#include "ThreadImageRefresh.h"

#include "DisplayWindow.h"

#include <chrono>

ThreadImageRefresh::ThreadImageRefresh(QWidget* target, uint32_t periodMicroseconds)
    : QThread(nullptr), widget(target), period(periodMicroseconds) {}

ThreadImageRefresh::~ThreadImageRefresh() {
    stop();
    wait();
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
        postRepaint(widget);
    }
}

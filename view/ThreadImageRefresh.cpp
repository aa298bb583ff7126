#include "ThreadImageRefresh.h"

#include "DisplayWindow.h"

#include <chrono>

ThreadImageRefresh::ThreadImageRefresh(QWidget* target, uint32_t periodMicroseconds,
                                       std::function<bool()> isDue)
    : widget(target), period(periodMicroseconds), due(std::move(isDue)) {}

void ThreadImageRefresh::start() {
    worker.start([this] {
        // Sleeps one period, then requests a repaint; again until stopped.
        while (worker.sleepFor(std::chrono::microseconds(period))) {
            if (!due || due())
                postRepaint(widget);
        }
    });
}

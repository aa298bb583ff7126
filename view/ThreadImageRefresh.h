#pragma once

// Asks a widget to repaint at a fixed period, independently of how fast
// pictures are written. Runs until stopped.

#include "Worker.h"

#include <cstdint>
#include <functional>

class QWidget;

class ThreadImageRefresh {
public:
    // period in microseconds. The widget must outlive the running thread.
    // With `due`, a period passes without a repaint when due() says there is
    // nothing new to show.
    ThreadImageRefresh(QWidget* widget, uint32_t period, std::function<bool()> due = {});
    // Stops and joins the thread if it still runs.
    ~ThreadImageRefresh() { stop(); }
    ThreadImageRefresh(const ThreadImageRefresh&) = delete;
    ThreadImageRefresh& operator=(const ThreadImageRefresh&) = delete;

    void start();
    // Ends the loop without waiting out the current period, and joins it.
    void stop() { worker.stop(); }
    bool running() const { return worker.running(); }

    QWidget* const widget;
    const uint32_t period;
    const std::function<bool()> due;

private:
    Worker worker;
};

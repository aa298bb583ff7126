#pragma once

// Asks a widget to repaint at a fixed period, independently of how fast
// pictures are written. Runs until stop() is called.

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class QWidget;

class ThreadImageRefresh : public QThread {
public:
    // period in microseconds. The widget must outlive the running thread.
    // With `due`, a period passes without a repaint when due() says there is
    // nothing new to show.
    ThreadImageRefresh(QWidget* widget, uint32_t period, std::function<bool()> due = {});
    // Stops and joins the thread if it still runs.
    ~ThreadImageRefresh() override;

    // Ends the loop without waiting out the current period. Callable from any thread.
    void stop();

    QWidget* const widget;
    const uint32_t period;
    const std::function<bool()> due;

protected:
    // Sleeps one period, then requests a repaint; again until stopped.
    void run() override;

private:
    std::mutex sleepMutex;
    std::condition_variable wakeUp;
    bool stopRequested = false;
};

#pragma once

// The one way a worker thread runs: start it with its body, wake it when
// something it waits for may have changed, stop it (which ends every wait of
// it and joins it). The body waits only through its worker, on a notice
// (waitForWake) or on a clock (sleepUntil), so that a stop is never kept
// waiting.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A notice board for one waiting thread: a notice given while nobody waits
// is kept for the next wait, so none is lost.
class Wakeup {
public:
    void notify() {
        {
            const std::lock_guard lock(mutex);
            ++given;
        }
        changed.notify_all();
    }
    // Returns at the first notice since the last return, or at the deadline,
    // or as soon as stop() says so. True when a notice came.
    bool waitUntil(std::chrono::steady_clock::time_point deadline,
                   const std::function<bool()>& stop = {}) {
        std::unique_lock lock(mutex);
        const auto ready = [&] { return given != taken || (stop && stop()); };
        if (deadline == std::chrono::steady_clock::time_point::max())
            changed.wait(lock, ready);
        else
            changed.wait_until(lock, deadline, ready);
        const bool noticed = given != taken;
        taken = given;
        return noticed;
    }
    bool waitFor(std::chrono::steady_clock::duration timeout) {
        return waitUntil(std::chrono::steady_clock::now() + timeout);
    }

private:
    friend class Worker;
    // Wakes a waiter without a notice, for a stop.
    void interrupt() {
        { const std::lock_guard lock(mutex); }
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    uint64_t given = 0;
    uint64_t taken = 0;
};

class Worker {
public:
    using Clock = std::chrono::steady_clock;

    // With a wakeup of the caller's, others can wake the worker through it
    // (they need not know the worker); without, the worker has its own.
    explicit Worker(Wakeup* shared = nullptr) : wakeup(shared != nullptr ? *shared : own) {}
    // Stops and joins.
    ~Worker() { stop(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Runs body on a new thread. The body returns once stopRequested() holds.
    void start(std::function<void()> body) {
        stop();
        stopping = false;
        thread = std::thread(std::move(body));
    }
    // What else a stop must interrupt (an event loop, a queue's wait);
    // called from the thread that asks for the stop. Set before start.
    void setInterrupt(std::function<void()> interrupt) { onStop = std::move(interrupt); }

    // Asks the body to finish and ends its waits; does not wait for it.
    // Callable from any thread, any number of times.
    void requestStop() {
        stopping = true;
        wakeup.interrupt();
        { const std::lock_guard lock(sleepMutex); }
        stopped.notify_all();
        if (onStop)
            onStop();
    }
    // requestStop, then waits for the body to return.
    void stop() {
        if (!thread.joinable())
            return;
        requestStop();
        if (thread.get_id() != std::this_thread::get_id())
            thread.join();
        else
            thread.detach();
    }
    bool stopRequested() const { return stopping.load(); }
    bool running() const { return thread.joinable(); }

    // Gives the body a notice: its next (or current) waitForWake returns.
    void wake() { wakeup.notify(); }

    // --- For the body.
    // Waits for a notice, or for the deadline, or for a stop. False once a
    // stop was asked for.
    bool waitForWake(Clock::time_point deadline = Clock::time_point::max()) {
        wakeup.waitUntil(deadline, [this] { return stopping.load(); });
        return !stopping;
    }
    bool waitForWake(Clock::duration timeout) { return waitForWake(Clock::now() + timeout); }
    // Waits until the time unless a stop comes first; notices do not end
    // it. False once a stop was asked for.
    bool sleepUntil(Clock::time_point deadline) {
        std::unique_lock lock(sleepMutex);
        stopped.wait_until(lock, deadline, [this] { return stopping.load(); });
        return !stopping;
    }
    bool sleepFor(Clock::duration duration) { return sleepUntil(Clock::now() + duration); }

private:
    Wakeup own;
    Wakeup& wakeup;
    std::function<void()> onStop;
    std::atomic<bool> stopping{false};
    std::mutex sleepMutex;
    std::condition_variable stopped;
    std::thread thread;
};

#pragma once

// A few worker threads that share a run of numbered tasks with the thread
// that hands them over: task(i) for each i of [0, count), handed out in
// order, `grain` at a time, to whichever thread is free. The threads are
// made once and wait between runs, so that one pool serves many small runs.
// What a task throws is kept (the first) and thrown by finish(), once every
// task is done.

#include "Worker.h"

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class WorkerPool {
public:
    using Task = std::function<void(size_t index)>;

    // threads besides the caller's; with none, finish() runs every task.
    explicit WorkerPool(size_t threads);
    // Hands out no more tasks, waits for those under way and stops the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Hands the tasks to the pool's threads and returns at once; one run at
    // a time, each ended by finish().
    void start(size_t count, Task task, size_t grain = 1);
    // Every task of the run is done (or threw).
    bool allDone();
    // Takes what is left of the run on this thread too, waits until every
    // task is done, then throws what a task threw.
    void finish();
    // start, then finish.
    void run(size_t count, Task task, size_t grain = 1) {
        start(count, std::move(task), grain);
        finish();
    }

private:
    // Runs tasks until none is left to hand out; the lock is held on entry
    // and on return.
    void share(std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable finished;
    Task task;
    size_t count = 0;
    size_t grain = 1;
    size_t next = 0;
    size_t done = 0;
    std::exception_ptr failure;
    std::vector<std::unique_ptr<Worker>> workers;
};

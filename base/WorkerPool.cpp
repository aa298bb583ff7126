#include "WorkerPool.h"

#include <algorithm>
#include <utility>

WorkerPool::WorkerPool(size_t threads) {
    for (size_t i = 0; i < threads; ++i) {
        workers.push_back(std::make_unique<Worker>());
        Worker* self = workers.back().get();
        self->start([this, self] {
            while (self->waitForWake()) {
                std::unique_lock lock(mutex);
                share(lock);
            }
        });
    }
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex);
        next = count;
    }
    workers.clear();
}

void WorkerPool::start(size_t tasks, Task work, size_t perTake) {
    {
        const std::lock_guard lock(mutex);
        task = std::move(work);
        count = tasks;
        grain = std::max<size_t>(perTake, 1);
        next = done = 0;
        failure = nullptr;
    }
    for (const std::unique_ptr<Worker>& worker : workers)
        worker->wake();
}

bool WorkerPool::allDone() {
    const std::lock_guard lock(mutex);
    return done == count;
}

void WorkerPool::finish() {
    std::unique_lock lock(mutex);
    share(lock);
    finished.wait(lock, [this] { return done == count; });
    task = nullptr;
    count = next = done = 0;
    if (const std::exception_ptr failed = std::exchange(failure, nullptr))
        std::rethrow_exception(failed);
}

void WorkerPool::share(std::unique_lock<std::mutex>& lock) {
    while (next < count) {
        const size_t from = next;
        const size_t to = std::min(count, from + grain);
        next = to;
        lock.unlock();
        std::exception_ptr failed;
        try {
            for (size_t i = from; i < to; ++i)
                task(i);
        } catch (...) {
            failed = std::current_exception();
        }
        lock.lock();
        if (failed && !failure)
            failure = failed;
        done += to - from;
        if (done == count)
            finished.notify_all();
    }
}

#include "DistanceHelper.h"

#include "FrameBuffer.h"

#include <algorithm>
#include <exception>
#include <thread>

namespace {

// Pairs taken at a time: a few tens of microseconds of work each.
constexpr size_t kBatch = 4;
// Fewer pairs than this are measured on the caller's thread alone: waking
// the helper would cost about what it saves.
constexpr size_t kWorthSharing = 6;

} // namespace

std::unique_ptr<DistanceHelper> DistanceHelper::ifCoresAllow() {
    return std::thread::hardware_concurrency() > 1 ? std::make_unique<DistanceHelper>() : nullptr;
}

DistanceHelper::DistanceHelper() {
    worker.start([this] { help(); });
}

DistanceHelper::~DistanceHelper() {
    worker.stop();
}

void DistanceHelper::measure(const FrameBuffer* from, const std::vector<FrameBuffer*>& older,
                             std::vector<double>& out) {
    out.resize(older.size());
    if (older.size() < kWorthSharing) {
        for (size_t i = 0; i < older.size(); ++i)
            out[i] = FrameBuffer::measureDistance(from, older[i]);
        return;
    }
    std::unique_lock lock(mutex);
    newer = from;
    others = &older;
    distances = out.data();
    next = done = 0;
    failure = nullptr;
    worker.wake();
    work(lock);
    finished.wait(lock, [this] { return done == others->size(); });
    newer = nullptr;
    others = nullptr;
    distances = nullptr;
    if (failure)
        std::rethrow_exception(failure);
}

void DistanceHelper::help() {
    while (worker.waitForWake()) {
        std::unique_lock lock(mutex);
        if (others)
            work(lock);
    }
}

void DistanceHelper::work(std::unique_lock<std::mutex>& lock) {
    while (next < others->size()) {
        const size_t from = next;
        const size_t to = std::min(others->size(), from + kBatch);
        next = to;
        const FrameBuffer* const a = newer;
        const std::vector<FrameBuffer*>& list = *others;
        double* out = distances;
        lock.unlock();
        std::exception_ptr failed;
        try {
            for (size_t i = from; i < to; ++i)
                out[i] = FrameBuffer::measureDistance(a, list[i]);
        } catch (...) {
            // Out of memory, at worst: the caller meets it once every pair
            // is off both threads' hands.
            failed = std::current_exception();
        }
        lock.lock();
        if (failed && !failure)
            failure = failed;
        done += to - from;
    }
    if (done == others->size())
        finished.notify_all();
}

#include "DistanceHelper.h"

#include "FrameBuffer.h"

#include <algorithm>
#include <exception>

namespace {

// Pairs taken at a time: a few tens of microseconds of work each.
constexpr size_t kBatch = 4;
// Fewer pairs than this are measured on the caller's thread alone: waking
// the helper would cost about what it saves.
constexpr size_t kWorthSharing = 6;

} // namespace

DistanceHelper::DistanceHelper() {
    worker.start([this] { help(); });
}

DistanceHelper::~DistanceHelper() {
    worker.stop();
}

void DistanceHelper::measure(const std::vector<Pair>& list, std::vector<double>& out) {
    out.resize(list.size());
    if (list.size() < kWorthSharing) {
        for (size_t i = 0; i < list.size(); ++i)
            out[i] = FrameBuffer::measureDistance(list[i].first, list[i].second);
        return;
    }
    std::unique_lock lock(mutex);
    pairs = &list;
    distances = out.data();
    next = done = 0;
    failure = nullptr;
    worker.wake();
    work(lock);
    finished.wait(lock, [this] { return done == pairs->size(); });
    pairs = nullptr;
    distances = nullptr;
    if (failure)
        std::rethrow_exception(failure);
}

void DistanceHelper::help() {
    while (worker.waitForWake()) {
        std::unique_lock lock(mutex);
        if (pairs)
            work(lock);
    }
}

void DistanceHelper::work(std::unique_lock<std::mutex>& lock) {
    while (next < pairs->size()) {
        const size_t from = next;
        const size_t to = std::min(pairs->size(), from + kBatch);
        next = to;
        const std::vector<Pair>& list = *pairs;
        double* out = distances;
        lock.unlock();
        std::exception_ptr failed;
        try {
            for (size_t i = from; i < to; ++i)
                out[i] = FrameBuffer::measureDistance(list[i].first, list[i].second);
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
    if (done == pairs->size())
        finished.notify_all();
}

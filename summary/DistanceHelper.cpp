#include "DistanceHelper.h"

#include "FrameBuffer.h"

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

void DistanceHelper::measure(const FrameBuffer* from, const std::vector<FrameBuffer*>& older,
                             std::vector<double>& out) {
    out.resize(older.size());
    if (older.size() < kWorthSharing) {
        for (size_t i = 0; i < older.size(); ++i)
            out[i] = FrameBuffer::measureDistance(from, older[i]);
        return;
    }
    FrameBuffer* const* const others = older.data();
    double* const distances = out.data();
    pool.run(
        older.size(),
        [from, others, distances](size_t i) {
            distances[i] = FrameBuffer::measureDistance(from, others[i]);
        },
        kBatch);
}

#include "AnalysisHandOver.h"

#include <chrono>

namespace {
// Waits look at their stop this often.
constexpr auto kStopPoll = std::chrono::milliseconds(20);
} // namespace

void AnalysisHandOver::expect() {
    const std::lock_guard lock(mutex);
    side = Side::Analysing;
}

bool AnalysisHandOver::frontWanted() const {
    const std::lock_guard lock(mutex);
    return wanted;
}

std::shared_ptr<LiveRecording> AnalysisHandOver::offer(std::unique_ptr<DescriptorStore> offered,
                                                       VideoKey videoKey,
                                                       const std::function<bool()>& stop) {
    std::unique_lock lock(mutex);
    store = std::move(offered);
    key = std::move(videoKey);
    taken.reset();
    side = Side::Offered;
    changed.notify_all();
    while (side == Side::Offered && !stop())
        changed.wait_for(lock, kStopPoll);
    side = Side::Analysing;
    store.reset();
    return std::exchange(taken, nullptr);
}

void AnalysisHandOver::close() {
    {
        const std::lock_guard lock(mutex);
        side = Side::Closed;
        store.reset();
    }
    changed.notify_all();
}

std::shared_ptr<LiveRecording> AnalysisHandOver::takeFront(double frameRate,
                                                           const std::function<bool()>& stop) {
    std::unique_lock lock(mutex);
    if (side == Side::None || side == Side::Closed)
        return nullptr;
    wanted = true;
    while (side == Side::Analysing && !stop())
        changed.wait_for(lock, kStopPoll);
    wanted = false;
    if (side != Side::Offered)
        return nullptr;
    auto recording = std::make_shared<LiveRecording>(std::move(store), key, frameRate);
    taken = recording;
    // The offer is answered: the store side follows the recording.
    side = Side::Analysing;
    lock.unlock();
    changed.notify_all();
    return recording;
}

#include "LiveRecording.h"

#include <utility>

LiveRecording::LiveRecording(std::unique_ptr<DescriptorStore> owned, VideoKey key, double rate)
    : store(std::move(owned)), frameRate(rate > 0.0 ? rate : 25.0),
      recorder(store.get(), std::move(key), rate) {}

void LiveRecording::picture(const Frame& frame, const AVFrame* picture, int width, int height) {
    if (state != Outcome::Recording)
        return;
    recorder.picture(frame, picture, width, height);
    ++frames;
}

void LiveRecording::ended() {
    if (state != Outcome::Recording)
        return;
    recorder.ended();
    decide(recorder.completed() ? Outcome::Completed : Outcome::Abandoned);
}

void LiveRecording::jumped() {
    recorder.jumped();
    decide(Outcome::Abandoned);
}

void LiveRecording::release() {
    decide(Outcome::Abandoned);
}

void LiveRecording::decide(Outcome outcome) {
    Outcome recording = Outcome::Recording;
    if (state.compare_exchange_strong(recording, outcome))
        decided.notify();
}

void LiveRecording::addNotice(std::string notice) {
    if (notice.empty())
        return;
    const std::lock_guard lock(noticeMutex);
    notices.push_back(std::move(notice));
}

std::vector<std::string> LiveRecording::takeNotices() {
    const std::lock_guard lock(noticeMutex);
    // The store's own (it is full, it refused a write) once the recording is over.
    if (state != Outcome::Recording && store)
        if (std::string told = store->takeNotice(); !told.empty())
            notices.push_back(std::move(told));
    return std::exchange(notices, {});
}

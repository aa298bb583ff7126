#include "BatchProgress.h"

#include <algorithm>
#include <filesystem>

BatchProgress::BatchProgress(std::FILE* stream, bool enabled,
                             const std::vector<std::string>& videos, size_t room,
                             Clock::time_point begin)
    : line(stream, enabled, 0.0, begin), width(room), start(begin) {
    for (const std::string& video : videos)
        items.push_back({std::filesystem::path(video).filename().string()});
}

void BatchProgress::started(size_t video) {
    const std::lock_guard lock(mutex);
    items[video].state = State::Running;
}

void BatchProgress::ended(size_t video) {
    const std::lock_guard lock(mutex);
    items[video].state = State::Done;
}

void BatchProgress::Video::begin(double duration) {
    const std::lock_guard lock(batch.mutex);
    Item& item = batch.items[video];
    item.begun = true;
    item.duration = std::max(0.0, duration);
}

void BatchProgress::Video::update(double position, int64_t) {
    const std::lock_guard lock(batch.mutex);
    Item& item = batch.items[video];
    item.position = std::max(item.position, position);
}

void BatchProgress::draw(Clock::time_point now) {
    const std::lock_guard lock(mutex);
    if (!finished)
        line.show(textLocked(now), now);
}

void BatchProgress::aside(const std::function<void()>& print) {
    const std::lock_guard lock(mutex);
    line.finish();
    print();
}

void BatchProgress::finish() {
    const std::lock_guard lock(mutex);
    finished = true;
    line.finish();
}

std::string BatchProgress::text(Clock::time_point now) {
    const std::lock_guard lock(mutex);
    return textLocked(now);
}

std::string BatchProgress::textLocked(Clock::time_point now) const {
    size_t done = 0;
    std::vector<std::string> current;
    for (const Item& item : items) {
        done += item.state == State::Done;
        if (item.state == State::Running)
            current.push_back(item.name);
    }
    const double elapsed = std::chrono::duration<double>(now - start).count();
    return ProgressLine::batchText(done, items.size(), secondsLeft(elapsed), current, width);
}

double BatchProgress::secondsLeft(double elapsed) const {
    double known = 0.0;
    size_t knownCount = 0;
    for (const Item& item : items)
        if (item.begun && item.duration > 0.0) {
            known += item.duration;
            ++knownCount;
        }
    double worked = 0.0;
    double left = 0.0;
    size_t unknown = 0; // videos of no length known yet
    for (const Item& item : items) {
        // A video done without its analysis begun (skipped, unreadable) was no work.
        const double length = item.duration > 0.0 ? item.duration : -1.0;
        if (item.state == State::Done) {
            if (item.begun)
                worked += length > 0.0 ? length : item.position;
        } else if (length > 0.0) {
            worked += std::min(item.position, length);
            left += length - std::min(item.position, length);
        } else {
            worked += item.position;
            ++unknown;
        }
    }
    if (std::none_of(items.begin(), items.end(),
                     [](const Item& item) { return item.state != State::Done; }))
        return 0.0;
    if (!(worked > 0.0) || !(elapsed > 0.0) || (unknown > 0 && knownCount == 0))
        return -1.0;
    if (unknown > 0)
        left += static_cast<double>(unknown) * known / static_cast<double>(knownCount);
    return elapsed * left / worked;
}

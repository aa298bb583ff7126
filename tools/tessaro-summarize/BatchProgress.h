#pragma once

// A batch's progress line: each worker reports its video's work, the thread
// that writes the report draws the line, and every other message is
// printed with the line cleared. The time left is the work left, in seconds
// of video (a video not begun taken at the mean length of those begun), at
// the pace of the work done so far; not known until some is done.

#include "ProgressLine.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class BatchProgress {
public:
    using Clock = ProgressLine::Clock;

    // videos: the batch's, in its order; width: the line's room in columns.
    BatchProgress(std::FILE* stream, bool enabled, const std::vector<std::string>& videos,
                  size_t width, Clock::time_point start = Clock::now());

    // A video under way, then done (summarised, skipped or failed).
    void started(size_t video);
    void ended(size_t video);
    // What its summary reports, on the worker's thread.
    class Video final : public SummaryProgress {
    public:
        Video(BatchProgress& batch, size_t video) : batch(batch), video(video) {}
        void begin(double duration) override;
        void update(double position, int64_t pictures) override;
        void end() override {}

    private:
        BatchProgress& batch;
        const size_t video;
    };

    // Redraws the line, at most every ProgressLine::kInterval.
    void draw(Clock::time_point now = Clock::now());
    // Runs print with the line cleared; the next draw() shows it again.
    void aside(const std::function<void()>& print);
    // Clears the line for good.
    void finish();

    // The line's text at now.
    std::string text(Clock::time_point now);

private:
    enum class State { Waiting, Running, Done };
    struct Item {
        std::string name;
        State state = State::Waiting;
        bool begun = false;     // its analysis began
        double duration = 0.0;  // 0 when not known
        double position = 0.0;  // seconds analysed
    };
    std::string textLocked(Clock::time_point now) const;
    double secondsLeft(double elapsed) const;

    std::mutex mutex;
    ProgressLine line;
    std::vector<Item> items;
    const size_t width;
    const Clock::time_point start;
    bool finished = false;
};

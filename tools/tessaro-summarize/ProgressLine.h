#pragma once

// The progress line on standard error while summarising: percent of the
// video, frames per second and time left, redrawn in place at most a few
// times a second, and only on a terminal.

#include "SummarizeVideo.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{250};

    ProgressLine(std::FILE* stream, bool enabled, double totalSeconds,
                 Clock::time_point start = Clock::now());
    ~ProgressLine();

    // position: seconds of the video decoded so far; frames: pictures decoded so far.
    void update(double position, int64_t frames, Clock::time_point now = Clock::now());
    // Clears the line, so that later messages start on a clean line.
    void finish();

    // The line's text without the carriage return.
    static std::string text(double position, double total, int64_t frames, double elapsed);

private:
    std::FILE* stream;
    bool enabled;
    double total;
    Clock::time_point start;
    Clock::time_point lastDrawn;
    bool drawn = false;
    size_t width = 0;
};

// The line as a summary's work reports its progress: drawn from the start
// of the analysis, cleared at its end.
class TerminalProgress final : public SummaryProgress {
public:
    explicit TerminalProgress(bool enabled) : enabled(enabled) {}
    void begin(double duration) override { line.emplace(stderr, enabled, duration); }
    void update(double position, int64_t pictures) override { line->update(position, pictures); }
    void end() override { line->finish(); }

private:
    const bool enabled;
    std::optional<ProgressLine> line;
};

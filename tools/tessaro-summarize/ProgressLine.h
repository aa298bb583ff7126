#pragma once

// The progress line on standard error: while summarising, percent of the
// video, frames per second and time left; while the summary video is
// written, its name and how much of it is; for a batch, the videos done,
// the time left and the videos under way. Redrawn in place at most a few
// times a second, and only on a terminal.

#include "SummarizeVideo.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{250};

    ProgressLine(std::FILE* stream, bool enabled, double totalSeconds,
                 Clock::time_point start = Clock::now());
    ~ProgressLine();

    // position: seconds of the video decoded so far; frames: pictures decoded so far.
    void update(double position, int64_t frames, Clock::time_point now = Clock::now());
    // The summary video being written (what: "writing", "finishing"), as
    // writingText; the first line of each is drawn at once, so that the
    // line before does not stand for it.
    void writing(const char* what, const std::string& file, double done, double total,
                 Clock::time_point now = Clock::now());
    // Any other line (a batch's), at most every kInterval.
    void show(const std::string& line, Clock::time_point now = Clock::now());
    // Clears the line, so that later messages start on a clean line.
    void finish();

    // The lines' texts without the carriage return.
    static std::string text(double position, double total, int64_t frames, double elapsed);
    // total 0: not known, no percentage.
    static std::string writingText(const char* what, const std::string& file, double done,
                                   double total);
    // left: seconds, negative while not known; the names shortened so that
    // the line takes at most width columns.
    static std::string batchText(size_t done, size_t all, double left,
                                 const std::vector<std::string>& current, size_t width);

private:
    void draw(const std::string& line);

    std::FILE* stream;
    bool enabled;
    double total;
    Clock::time_point start;
    Clock::time_point lastDrawn;
    bool drawn = false;
    std::string shown; // the writing's step drawn last
    size_t width = 0;
};

// Columns of the terminal on the descriptor, else 80.
size_t terminalColumns(int descriptor);

// The line as a summary's work reports its progress: drawn from the start
// of the analysis, cleared at its end and again after the summary video.
class TerminalProgress final : public SummaryProgress {
public:
    explicit TerminalProgress(bool enabled) : enabled(enabled) {}
    void begin(double duration) override {
        line.emplace(stderr, enabled, duration);
        written = false;
    }
    void update(double position, int64_t pictures) override {
        if (!written)
            line->update(position, pictures);
    }
    void end() override { line->finish(); }
    void writing(const std::string& file, double reached, double length) override {
        written = true;
        line->writing("writing", file, reached, length);
    }
    void finishing(const std::string& file, int64_t done, int64_t total) override {
        line->writing("finishing", file, static_cast<double>(done), static_cast<double>(total));
    }

private:
    const bool enabled;
    std::optional<ProgressLine> line;
    bool written = false; // the summary video's line has taken over
};

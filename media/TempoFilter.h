#pragma once

// Changes the tempo of interleaved float sound without changing its
// pitch, through libavfilter's atempo (abuffer -> atempo -> abuffersink).
// The filter holds some sound back while it works; drain hands it out at a
// cut, and reset forgets it (a seek).

#include <cstdint>
#include <memory>
#include <vector>

struct AVFilterGraph;
struct AVFilterContext;

class TempoFilter {
public:
    TempoFilter() = default;
    ~TempoFilter();
    TempoFilter(const TempoFilter&) = delete;
    TempoFilter& operator=(const TempoFilter&) = delete;

    // The sound's rate and channels and the tempo (0.5 to 2: at 1.5, one
    // second of sound lasts two thirds of a second). False when the filter
    // cannot be made; it passes nothing then.
    bool configure(int sampleRate, int channels, double tempo);
    bool ready() const { return graph != nullptr; }
    double tempo() const { return speed; }

    // Takes count frames and appends to out what the filter gives back now.
    void process(const float* samples, int count, std::vector<float>& out);
    // Appends all that the filter still holds, and starts afresh.
    void drain(std::vector<float>& out);
    // Forgets what the filter holds.
    void reset();

private:
    struct GraphFreer {
        void operator()(AVFilterGraph* graph) const;
    };
    bool build();
    void pull(std::vector<float>& out);

    std::unique_ptr<AVFilterGraph, GraphFreer> graph;
    AVFilterContext* source = nullptr; // owned by the graph
    AVFilterContext* sink = nullptr;   // owned by the graph
    int rate = 0;
    int channelCount = 0;
    double speed = 1.0;
    int64_t nextPts = 0;
};

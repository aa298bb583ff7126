#include "TempoFilter.h"

#include "AVPointers.h"

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>

void TempoFilter::GraphFreer::operator()(AVFilterGraph* filterGraph) const {
    avfilter_graph_free(&filterGraph);
}

TempoFilter::~TempoFilter() = default;

bool TempoFilter::configure(int sampleRate, int channels, double tempo) {
    rate = sampleRate;
    channelCount = channels;
    speed = std::clamp(tempo, 0.5, 2.0);
    return build();
}

bool TempoFilter::build() {
    graph.reset();
    source = nullptr;
    sink = nullptr;
    nextPts = 0;
    if (rate <= 0 || channelCount <= 0 || channelCount > 64)
        return false;
    std::unique_ptr<AVFilterGraph, GraphFreer> made(avfilter_graph_alloc());
    if (!made)
        return false;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channelCount);
    char layoutName[64] = {};
    av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
    av_channel_layout_uninit(&layout);
    char sourceArgs[160];
    std::snprintf(sourceArgs, sizeof sourceArgs,
                  "time_base=1/%d:sample_rate=%d:sample_fmt=flt:channel_layout=%s", rate, rate,
                  layoutName);
    char tempoArgs[32];
    std::snprintf(tempoArgs, sizeof tempoArgs, "tempo=%.6f", speed);
    AVFilterContext* tempoStage = nullptr;
    if (avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in", sourceArgs,
                                     nullptr, made.get()) < 0 ||
        avfilter_graph_create_filter(&tempoStage, avfilter_get_by_name("atempo"), "tempo",
                                     tempoArgs, nullptr, made.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                     nullptr, made.get()) < 0)
        return false;
    // The sink gives back what the source takes: only the tempo changes.
    const AVSampleFormat formats[] = {AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_NONE};
    if (av_opt_set_int_list(sink, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                            AV_OPT_SEARCH_CHILDREN) < 0 ||
        avfilter_link(source, 0, tempoStage, 0) < 0 || avfilter_link(tempoStage, 0, sink, 0) < 0 ||
        avfilter_graph_config(made.get(), nullptr) < 0)
        return false;
    graph = std::move(made);
    return true;
}

void TempoFilter::pull(std::vector<float>& out) {
    ffmpeg::FramePtr frame(av_frame_alloc());
    while (frame && av_buffersink_get_frame(sink, frame.get()) >= 0) {
        const auto* data = reinterpret_cast<const float*>(frame->data[0]);
        out.insert(out.end(), data, data + static_cast<size_t>(frame->nb_samples) * channelCount);
        av_frame_unref(frame.get());
    }
}

void TempoFilter::process(const float* samples, int count, std::vector<float>& out) {
    if (!graph || samples == nullptr || count <= 0)
        return;
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!frame)
        return;
    frame->format = AV_SAMPLE_FMT_FLT;
    frame->sample_rate = rate;
    frame->nb_samples = count;
    av_channel_layout_default(&frame->ch_layout, channelCount);
    frame->pts = nextPts;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return;
    std::memcpy(frame->data[0], samples, static_cast<size_t>(count) * channelCount * sizeof(float));
    nextPts += count;
    if (av_buffersrc_add_frame(source, frame.get()) < 0)
        return;
    pull(out);
}

void TempoFilter::drain(std::vector<float>& out) {
    if (!graph)
        return;
    if (av_buffersrc_add_frame(source, nullptr) >= 0)
        pull(out);
    build();
}

void TempoFilter::reset() {
    if (graph)
        build();
}

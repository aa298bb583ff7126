#include "Resampler.h"

extern "C" {
#include <libswresample/swresample.h>
}

Resampler::~Resampler() {
    av_channel_layout_uninit(&in.layout);
    av_channel_layout_uninit(&out.layout);
}

void Resampler::assign(AudioShape* shape, const AVChannelLayout& layout, AVSampleFormat format,
                       int rate) {
    av_channel_layout_uninit(&shape->layout);
    // A layout that only counts channels converts as the usual one of that count.
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&shape->layout, layout.nb_channels);
    else if (av_channel_layout_copy(&shape->layout, &layout) < 0)
        shape->layout = {};
    shape->format = format;
    shape->rate = rate;
}

void Resampler::setOutput(const AVChannelLayout& layout, AVSampleFormat format, int rate) {
    assign(&out, layout, format, rate);
    context.reset();
}

bool Resampler::takes(const AVChannelLayout& layout, AVSampleFormat format, int rate) const {
    AVChannelLayout wanted{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&wanted, layout.nb_channels);
    else
        av_channel_layout_copy(&wanted, &layout);
    const bool same = context && in.format == format && in.rate == rate &&
                      av_channel_layout_compare(&in.layout, &wanted) == 0;
    av_channel_layout_uninit(&wanted);
    return same;
}

int64_t Resampler::delay() const {
    const int rate = out.rate > 0 ? out.rate : in.rate;
    return context && rate > 0 ? swr_get_delay(context.get(), rate) : 0;
}

bool Resampler::prepare(const AVChannelLayout& layout, AVSampleFormat format, int rate) {
    if (takes(layout, format, rate))
        return true;

    context.reset();
    assign(&in, layout, format, rate);
    const int outRate = out.rate > 0 ? out.rate : rate;
    SwrContext* made = nullptr;
    // FFmpeg 5.1 declares the layouts non-const but only reads them.
    const int result = swr_alloc_set_opts2(&made, &out.layout, out.format, outRate, &in.layout,
                                           format, rate, 0, nullptr);
    context.reset(made);
    if (result < 0 || swr_init(made) < 0) {
        context.reset();
        return false;
    }
    return true;
}

int Resampler::convert(const uint8_t* const* input, int count, uint8_t* const* output, int room) {
    if (!context)
        return -1;
    return swr_convert(context.get(), const_cast<uint8_t**>(output), room,
                       const_cast<const uint8_t**>(input), count);
}

int Resampler::convert(const AVFrame* frame, uint8_t* const* output, int room) {
    if (!prepare(frame->ch_layout, static_cast<AVSampleFormat>(frame->format), frame->sample_rate))
        return -1;
    return convert(frame->extended_data, frame->nb_samples, output, room);
}

int Resampler::outputRoom(int count) const {
    return context ? swr_get_out_samples(context.get(), count) : 0;
}

void Resampler::reset() {
    if (context)
        swr_init(context.get());
}

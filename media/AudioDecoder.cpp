#include "AudioDecoder.h"

Decoder::Opened AudioDecoder::open(const AVStream* stream, bool withTimeBase) {
    return Decoder::open(stream, [&](AVCodecContext* c) {
        if (withTimeBase)
            c->pkt_timebase = stream->time_base;
        return Opened::Yes;
    });
}

void AudioDecoder::layout(AVChannelLayout* out) const {
    if (context->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(out, context->ch_layout.nb_channels);
    else
        av_channel_layout_copy(out, &context->ch_layout);
}

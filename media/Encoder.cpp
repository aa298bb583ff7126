#include "Encoder.h"

#include <cstdlib>

bool Encoder::create(const AVCodec* codec) {
    context.reset(avcodec_alloc_context3(codec));
    packet.reset(av_packet_alloc());
    return context && packet;
}

int Encoder::open() {
    return avcodec_open2(context.get(), context->codec, nullptr);
}

bool Encoder::encode(const AVFrame* frame, const PacketSink& sink, std::string* error) {
    const int sent = avcodec_send_frame(context.get(), frame);
    if (sent < 0 && !(frame == nullptr && sent == AVERROR_EOF)) {
        *error = "encoding failed: " + avErrorText(sent);
        return false;
    }
    for (;;) {
        const int received = avcodec_receive_packet(context.get(), packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received < 0) {
            *error = "encoding failed: " + avErrorText(received);
            return false;
        }
        if (!sink(packet.get(), error))
            return false;
    }
}

int Encoder::closestRate(const AVCodec* codec, int wanted) {
    if (codec->supported_samplerates == nullptr)
        return wanted > 0 ? wanted : 48000;
    int best = codec->supported_samplerates[0];
    for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
        if (*r == wanted)
            return wanted;
        if (std::abs(*r - wanted) < std::abs(best - wanted))
            best = *r;
    }
    return best;
}

bool Encoder::supportsLayout(const AVCodec* codec, const AVChannelLayout& layout) {
    if (layout.nb_channels <= 0)
        return false;
    if (codec->ch_layouts == nullptr)
        return layout.nb_channels <= 2;
    for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels != 0; ++l)
        if (av_channel_layout_compare(l, &layout) == 0)
            return true;
    return false;
}

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

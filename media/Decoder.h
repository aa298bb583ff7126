#pragma once

// What the video and the audio decoder share: a decoder context opened for
// one stream of a container, fed packets and drained of frames.

#include "AVPointers.h"

#include <functional>

class Decoder {
public:
    enum class Opened { Yes, NoDecoder, CannotOpen, TooLarge };

    // avcodec_send_packet and avcodec_receive_frame, with their results.
    int send(const AVPacket* packet) { return avcodec_send_packet(context.get(), packet); }
    int receive(AVFrame* frame) { return avcodec_receive_frame(context.get(), frame); }
    // Forgets every packet and frame it holds, as after a seek.
    void flush() { avcodec_flush_buffers(context.get()); }
    bool isOpen() const { return context != nullptr; }
    const AVCodecContext* codec() const { return context.get(); }

protected:
    // Finds the stream's decoder and opens it; `configure` sets the context
    // up once it holds the stream's parameters, and may refuse it.
    Opened open(const AVStream* stream, const std::function<Opened(AVCodecContext*)>& configure);

    ffmpeg::CodecContextPtr context;
};

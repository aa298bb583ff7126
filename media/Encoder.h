#pragma once

// One encoder: frames in, packets out to whoever writes them (a Muxer).
// The caller sets the context up between create and open.

#include "AVPointers.h"

#include <functional>
#include <string>

class Encoder {
public:
    // Receives each packet made, in the encoder's time base; false stops.
    using PacketSink = std::function<bool(AVPacket*, std::string* error)>;

    // False when there is no memory for the context.
    bool create(const AVCodec* codec);
    AVCodecContext* settings() { return context.get(); }
    const AVCodecContext* codec() const { return context.get(); }
    // avcodec_open2's result.
    int open();

    // Sends a frame (null: the end, draining the encoder) and hands every
    // packet ready to sink.
    bool encode(const AVFrame* frame, const PacketSink& sink, std::string* error);

    // The supported rate nearest to the wanted one (48000 for none wanted
    // when any rate goes).
    static int closestRate(const AVCodec* codec, int wanted);
    static bool supportsLayout(const AVCodec* codec, const AVChannelLayout& layout);

private:
    ffmpeg::CodecContextPtr context;
    ffmpeg::PacketPtr packet;
};

// FFmpeg's text for an error code.
std::string avErrorText(int code);

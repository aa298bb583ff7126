#include "VideoDecoder.h"

#include "Demuxer.h"

#include <algorithm>
#include <cmath>

namespace {
// Consecutive decoding errors after which a stream is taken as ended.
constexpr int kMaxDecodeFailures = 10000;

bool isUsable(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}
} // namespace

Decoder::Opened VideoDecoder::open(const AVStream* stream, int threads, int64_t maxArea) {
    frame.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!frame || !packet)
        return Opened::CannotOpen;
    const Opened opened = Decoder::open(stream, [&](AVCodecContext* c) {
        if (static_cast<int64_t>(c->width) * c->height > maxArea)
            return Opened::TooLarge;
        c->max_pixels = maxArea;
        c->pkt_timebase = stream->time_base;
        c->thread_count = threads;
        return Opened::Yes;
    });
    if (isUsable(stream->r_frame_rate))
        fps = av_q2d(stream->r_frame_rate);
    else if (isUsable(stream->avg_frame_rate))
        fps = av_q2d(stream->avg_frame_rate);
    const AVRational base = stream->time_base;
    perFrame = std::max<int64_t>(1, std::llround((static_cast<double>(base.den) / base.num) / fps));
    return opened;
}

bool VideoDecoder::decode(Demuxer& demuxer, int streamIndex) {
    int failures = 0;
    for (;;) {
        const int received = receive(frame.get());
        if (received == 0)
            break;
        if (received == AVERROR_EOF)
            return false;
        if (received != AVERROR(EAGAIN)) {
            // A damaged picture (reported here by threaded decoders): the
            // decoder has moved past it and may hold more.
            if (++failures > kMaxDecodeFailures)
                return false;
            continue;
        }
        if (draining)
            return false;
        if (!demuxer.read(streamIndex, packet.get())) {
            // End of input: the decoder still holds the last pictures.
            send(nullptr);
            draining = true;
            continue;
        }
        if (packet->size > 0)
            send(packet.get()); // a damaged packet is skipped, as ffmpeg does
        av_packet_unref(packet.get());
    }

    int64_t ts = frame->pkt_dts;
    if (ts == AV_NOPTS_VALUE)
        ts = haveTimestamp ? lastTimestamp + perFrame : madeUpStart;
    lastTimestamp = ts;
    haveTimestamp = true;
    frame->pts = ts;
    return true;
}

void VideoDecoder::flush() {
    Decoder::flush();
    draining = false;
    haveTimestamp = false;
    madeUpStart = 0;
}

#include "VideoDecoder.h"

#include "Demuxer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {
// Consecutive decoding errors after which a stream is taken as ended.
constexpr int kMaxDecodeFailures = 10000;

bool isUsable(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

// Line and plane alignment that every SIMD path of the decoders accepts.
constexpr int kBufferAlign = 64;

// get_buffer2 with a buffer of the picture's own, as large as the decoder
// may write (its aligned size), instead of one from the context's pool.
int ownBuffer(AVCodecContext* c, AVFrame* frame, int flags) {
    if (!(c->codec->capabilities & AV_CODEC_CAP_DR1) || c->hw_frames_ctx != nullptr)
        return avcodec_default_get_buffer2(c, frame, flags);
    const int width = frame->width;
    const int height = frame->height;
    int alignedWidth = width;
    int alignedHeight = height;
    int lineAlign[AV_NUM_DATA_POINTERS];
    avcodec_align_dimensions2(c, &alignedWidth, &alignedHeight, lineAlign);
    frame->width = alignedWidth;
    frame->height = alignedHeight;
    std::fill(std::begin(frame->linesize), std::end(frame->linesize), 0);
    const int got = av_frame_get_buffer(frame, kBufferAlign);
    frame->width = width;
    frame->height = height;
    return got;
}
} // namespace

Decoder::Opened VideoDecoder::open(const AVStream* stream, int threads, int64_t maxArea,
                                   bool ownBuffers) {
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
        if (ownBuffers)
            c->get_buffer2 = ownBuffer;
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

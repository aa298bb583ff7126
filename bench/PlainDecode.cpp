#include "PlainDecode.h"

#include "Bench.h"

#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {
struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

long receiveAll(AVCodecContext* decoder, AVFrame* frame) {
    long pictures = 0;
    while (avcodec_receive_frame(decoder, frame) == 0)
        ++pictures;
    return pictures;
}
} // namespace

DecodeRun plainFfmpegDecode(const char* path) {
    DecodeRun run;
    const auto start = std::chrono::steady_clock::now();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path, nullptr, nullptr) != 0)
        return run;
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return run;
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0)
        return run;
    const AVCodecParameters* parameters = input->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (codec == nullptr || !decoder ||
        avcodec_parameters_to_context(decoder.get(), parameters) < 0)
        return run;
    decoder->thread_count = 0; // as VideoReader does
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return run;

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(decoder.get(), packet.get());
            run.pictures += receiveAll(decoder.get(), frame.get());
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    run.pictures += receiveAll(decoder.get(), frame.get());
    run.seconds = secondsSince(start);
    run.ok = true;
    return run;
}

Comparison compareWithFfmpeg(const std::function<DecodeRun()>& ours, const char* path, int rounds) {
    Comparison best;
    for (int round = 0; round < rounds; ++round) {
        const DecodeRun a = ours();
        const DecodeRun b = plainFfmpegDecode(path);
        if (!a.ok || !b.ok)
            return {};
        if (!best.ours.ok || a.seconds < best.ours.seconds)
            best.ours = a;
        if (!best.ffmpeg.ok || b.seconds < best.ffmpeg.seconds)
            best.ffmpeg = b;
    }
    return best;
}

void printDecodeRun(const char* name, const DecodeRun& run) {
    std::printf("%s: %ld pictures, %.1f pictures/s\n", name, run.pictures, run.rate());
}

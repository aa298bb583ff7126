#include "PlainDecode.h"

#include "AVPointers.h"
#include "Bench.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
DecodeRun medianRun(std::vector<DecodeRun> runs) {
    const auto middle = runs.begin() + static_cast<long>(runs.size() / 2);
    std::nth_element(runs.begin(), middle, runs.end(),
                     [](const DecodeRun& a, const DecodeRun& b) { return a.seconds < b.seconds; });
    return *middle;
}

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
    ffmpeg::InputPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0)
        return run;
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0)
        return run;
    const AVCodecParameters* parameters = input->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (codec == nullptr || !decoder ||
        avcodec_parameters_to_context(decoder.get(), parameters) < 0)
        return run;
    decoder->thread_count = 0; // as VideoReader does
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return run;

    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
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

Comparison alternateRuns(const std::function<DecodeRun()>& ours,
                         const std::function<DecodeRun()>& reference, int rounds) {
    std::vector<DecodeRun> oursRuns;
    std::vector<DecodeRun> referenceRuns;
    for (int round = 0; round < rounds; ++round) {
        oursRuns.push_back(ours());
        referenceRuns.push_back(reference());
        if (!oursRuns.back().ok || !referenceRuns.back().ok)
            return {oursRuns.back(), referenceRuns.back()};
    }
    return {medianRun(oursRuns), medianRun(referenceRuns)};
}

Comparison compareWithFfmpeg(const std::function<DecodeRun()>& ours, const char* path, int rounds) {
    return alternateRuns(
        ours, [path] { return plainFfmpegDecode(path); }, rounds);
}

void printDecodeRun(const char* name, const DecodeRun& run) {
    std::printf("%s: %ld pictures, %.1f pictures/s\n", name, run.pictures, run.rate());
}

int benchAgainstFfmpeg(int argc, char** argv, DecodeRun (*ours)(const char* path),
                       void (*print)(const Comparison& result)) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaro-bench %s FILE\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const Comparison result = compareWithFfmpeg([&] { return ours(path); }, path);
    if (!result.ours.ok || !result.ffmpeg.ok) {
        std::fprintf(stderr, "tessaro-bench %s: cannot decode %s\n", argv[0], path);
        return 1;
    }
    print(result);
    return 0;
}

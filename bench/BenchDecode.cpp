// tessaro-bench decode FILE: the whole file through VideoReader::getNextFrame
// (audio outputs given, as fragment decoding gives them), then through
// FFmpeg's plain decode loop, and the ratio of the two rates.

#include "Bench.h"
#include "PlainDecode.h"
#include "VideoReader.h"

#include <cstdio>

namespace {
DecodeRun readerDecode(const char* path) {
    DecodeRun run;
    const auto start = std::chrono::steady_clock::now();
    VideoReader reader(path);
    if (reader.status != VideoReader::OK)
        return run;
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = 0;
    int count = 0;
    while (reader.getNextFrame(&picture, &samples, &value, &count))
        ++run.pictures;
    run.seconds = secondsSince(start);
    run.ok = true;
    return run;
}

int benchDecode(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaro-bench decode FILE\n");
        return 2;
    }
    const DecodeRun reader = readerDecode(argv[1]);
    const DecodeRun ffmpeg = plainFfmpegDecode(argv[1]);
    if (!reader.ok || !ffmpeg.ok) {
        std::fprintf(stderr, "tessaro-bench decode: cannot decode %s\n", argv[1]);
        return 1;
    }
    printDecodeRun("reader", reader);
    printDecodeRun("ffmpeg", ffmpeg);
    const double readerRate = reader.pictures / reader.seconds;
    const double ffmpegRate = ffmpeg.pictures / ffmpeg.seconds;
    std::printf("ratio reader/ffmpeg: %.2f\n", ffmpegRate > 0 ? readerRate / ffmpegRate : 0.0);
    return 0;
}

const BenchRegistration registration("decode", "FILE", &benchDecode);
} // namespace

// tessaro-bench decode FILE: the whole file through VideoReader::getNextFrame
// (audio outputs given, as fragment decoding gives them) against FFmpeg's
// plain decode loop, and the ratio of the two rates.

#include "Bench.h"
#include "PlainDecode.h"
#include "VideoReader.h"

#include <cstdio>

namespace {
DecodeRun readerDecode(const char* path) {
    DecodeRun run;
    const auto start = std::chrono::steady_clock::now();
    VideoReader reader(path);
    if (reader.status() != VideoReader::OK)
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

void printDecode(const Comparison& result) {
    printDecodeRun("reader", result.ours);
    printDecodeRun("ffmpeg", result.ffmpeg);
    std::printf("ratio reader/ffmpeg: %.2f\n", result.ours.rate() / result.ffmpeg.rate());
}

int benchDecode(int argc, char** argv) {
    return benchAgainstFfmpeg(argc, argv, &readerDecode, &printDecode);
}

const BenchRegistration decodeRegistration("decode", "FILE", &benchDecode);
} // namespace

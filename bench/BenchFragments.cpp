// tessaro-bench fragments FILE: the whole file through
// FragmentDecoder::decodeFragment (frames described, pictures let go) against
// FFmpeg's plain decode loop, and the ratio of the two rates.

#include "Bench.h"
#include "FragmentDecoder.h"
#include "PlainDecode.h"

#include <cstdio>

namespace {
DecodeRun fragmentDecode(const char* path) {
    DecodeRun run;
    const auto start = std::chrono::steady_clock::now();
    FragmentDecoder decoder(path);
    if (decoder.videoReader().status() != VideoReader::OK)
        return run;
    while (const std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment()) {
        ++run.fragments;
        run.pictures += fragment->count();
    }
    run.seconds = secondsSince(start);
    run.ok = true;
    return run;
}

void printFragments(const Comparison& result) {
    std::printf("fragments: %ld fragments, %ld frames, %.1f frames/s\n", result.ours.fragments,
                result.ours.pictures, result.ours.rate());
    printDecodeRun("ffmpeg", result.ffmpeg);
    std::printf("ratio fragments/ffmpeg: %.2f\n", result.ours.rate() / result.ffmpeg.rate());
}

int benchFragments(int argc, char** argv) {
    return benchAgainstFfmpeg(argc, argv, &fragmentDecode, &printFragments);
}

const BenchRegistration fragmentsRegistration("fragments", "FILE", &benchFragments);
} // namespace

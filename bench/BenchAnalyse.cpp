// tessaro-bench analyse FILE: the analysis as tessaro-summarize runs it
// (FragmentDecoder reading ahead, one decoder thread per core, the sound
// read beside the pictures for its analysis; frames described, pictures let
// go), alone and while it fills a store in a
// temporary folder, each against a plain threaded FFmpeg decode of the same
// file in alternate runs; the ratios of their times.

#include "AnalysisRecorder.h"
#include "Bench.h"
#include "FragmentDecoder.h"
#include "PlainDecode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

DecodeRun analyse(const char* path, DescriptorStore* store, int run) {
    DecodeRun result;
    const auto start = std::chrono::steady_clock::now();
    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::unique_ptr<AnalysisRecorder> recorder;
    FragmentDecoder decoder(path, options);
    if (decoder.videoReader().status() != VideoReader::OK)
        return result;
    if (store != nullptr) {
        // A key of its own each run, so that every run writes a whole entry.
        const VideoKey key{"bench-" + std::to_string(run), "bench"};
        recorder = std::make_unique<AnalysisRecorder>(store, key, decoder.frameRate());
        decoder.setTap(recorder.get());
    }
    decoder.setReadAhead(true);
    while (const std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment()) {
        ++result.fragments;
        result.pictures += fragment->count();
    }
    decoder.setReadAhead(false);
    result.seconds = secondsSince(start);
    result.ok = store == nullptr || (recorder && recorder->completed());
    return result;
}

void printRatio(const char* name, const Comparison& c) {
    printDecodeRun(name, c.ours);
    printDecodeRun("ffmpeg", c.ffmpeg);
    std::printf("ratio %s/ffmpeg time: %.3f\n", name, c.ffmpeg.rate() / c.ours.rate());
}

int benchAnalyse(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaro-bench analyse FILE\n");
        return 2;
    }
    const char* path = argv[1];
    const Comparison alone = compareWithFfmpeg([&] { return analyse(path, nullptr, 0); }, path);

    char folder[] = "/tmp/tessaro-bench-store-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::fprintf(stderr, "tessaro-bench analyse: cannot make a temporary folder\n");
        return 1;
    }
    StoreConfig config;
    config.folder = folder;
    std::string notice;
    std::unique_ptr<DescriptorStore> store = DescriptorStore::open(config, &notice);
    int run = 0;
    const Comparison stored =
        store ? compareWithFfmpeg([&] { return analyse(path, store.get(), ++run); }, path)
              : Comparison{};
    store.reset();
    std::filesystem::remove_all(folder);

    if (!alone.ours.ok || !alone.ffmpeg.ok || !stored.ours.ok) {
        std::fprintf(stderr, "tessaro-bench analyse: cannot analyse %s %s\n", path, notice.c_str());
        return 1;
    }
    printRatio("analyse", alone);
    printRatio("analyse+store", stored);
    return 0;
}

const BenchRegistration analyseRegistration("analyse", "FILE", &benchAnalyse);
} // namespace

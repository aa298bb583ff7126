// tessaro-bench analyse FILE: the analysis as tessaro-summarize runs it
// (ranges of one decoder thread a core where they pay and the file splits, else
// FragmentDecoder reading ahead with a decoder thread per core; frames
// described, pictures let go), alone and while it fills a store in a
// temporary folder, the same in one pass, and the
// analysis in ranges decoded side by side (RangedDecoder) with the threads of
// 1, 2 and all cores, each against a plain threaded FFmpeg decode of the same
// file in alternate runs; the ratios of their times. The ranged analysis is
// also checked to give the single pass's descriptor file to the byte; and
// the key-frame pass that comes before the player's analysis.

#include "Analysis.h"
#include "AnalysisRecorder.h"
#include "Bench.h"
#include "DescriptorFile.h"
#include "FragmentDecoder.h"
#include "Glance.h"
#include "PlainDecode.h"
#include "RangedDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

int cores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

ReaderOptions analysisOptions(int decoderThreads) {
    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = decoderThreads;
    return options;
}

// Takes every fragment of source into run, timed from start.
DecodeRun drain(FragmentSource& source, std::chrono::steady_clock::time_point start) {
    DecodeRun result;
    while (const std::unique_ptr<FrameBuffer> fragment = source.nextFragment()) {
        ++result.fragments;
        result.pictures += fragment->count();
    }
    result.seconds = secondsSince(start);
    result.ok = result.pictures > 0;
    return result;
}

// The analysis as the tool makes it (ranges of one decoder thread a core
// where they pay and the file splits, else one pass; see rangePolicy), or in one pass
// throughout; filling the store when given one.
DecodeRun analyse(const char* path, DescriptorStore* store, int run, bool onePass = false) {
    const auto start = std::chrono::steady_clock::now();
    const RangePolicy policy = rangePolicy(cores());
    std::unique_ptr<RangedDecoder> ranges =
        onePass || policy.ranges < 2
            ? nullptr
            : RangedDecoder::open(path, analysisOptions(policy.decoderThreads), policy.ranges,
                                  RangedDecoder::defaultStretchFrames, true);
    std::unique_ptr<FragmentDecoder> decoder;
    if (!ranges) {
        decoder = std::make_unique<FragmentDecoder>(path, analysisOptions(cores()));
        if (decoder->videoReader().status() != VideoReader::OK)
            return {};
    }
    FragmentSource& source = ranges ? static_cast<FragmentSource&>(*ranges) : *decoder;
    std::unique_ptr<AnalysisRecorder> recorder;
    if (store != nullptr) {
        // A key of its own each run, so that every run writes a whole entry.
        const VideoKey key{"bench-" + std::to_string(run), "bench"};
        recorder = std::make_unique<AnalysisRecorder>(store, key, source.frameRate());
        if (ranges)
            ranges->setTap(recorder.get());
        else
            decoder->setTap(recorder.get());
    }
    if (decoder)
        decoder->setReadAhead(true);
    DecodeRun result = drain(source, start);
    if (decoder)
        decoder->setReadAhead(false);
    result.ok = result.ok && (store == nullptr || (recorder && recorder->completed()));
    return result;
}

// The ranges for an analysis of `threads` threads in all: the policy's, but
// two at least, so that the line measures ranges.
RangePolicy forcedRanges(int threads) {
    RangePolicy policy = rangePolicy(threads);
    policy.ranges = std::max(2, policy.ranges);
    policy.decoderThreads = std::max(1, threads / policy.ranges);
    return policy;
}

DecodeRun analyseRanged(const char* path, const RangePolicy& policy) {
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<RangedDecoder> decoder =
        RangedDecoder::open(path, analysisOptions(policy.decoderThreads), policy.ranges);
    return decoder ? drain(*decoder, start) : DecodeRun{};
}

// The descriptor file of the analysis, in ranges or in one pass; empty when
// the file cannot be decoded so.
std::string descriptorFile(const std::string& path, const RangePolicy& policy, bool* ranged) {
    AnalysisSources sources;
    sources.keepPortable = true;
    sources.ranges = policy.ranges;
    Analysis analysis(path, analysisOptions(policy.decoderThreads), sources);
    *ranged = analysis.decodingRanges() != nullptr;
    while (analysis.fragments().nextFragment()) {
    }
    PortableAnalysis whole;
    return analysis.portable(&whole) ? encodeDescriptorFile(whole) : std::string();
}

// The glance at the key frames that the player takes before its analysis:
// the pictures it decodes (each with its descriptors and thumbnail).
DecodeRun glance(const char* path) {
    const auto start = std::chrono::steady_clock::now();
    const std::optional<Glance> seen = glanceAt(path, [] { return true; });
    DecodeRun result;
    result.seconds = secondsSince(start);
    result.pictures = seen ? static_cast<long>(seen->pictures.size()) : 0;
    result.fragments = result.pictures;
    result.ok = result.pictures > 0;
    return result;
}

// One line of the bench: what it runs against the plain decode, and what it
// prints beside its figures.
struct Line {
    std::string name;  // how the line starts
    std::string ratio; // "ratio RATIO/ffmpeg time"
    std::function<DecodeRun()> run;
    std::string note;
};

void printLine(const Line& line, const Comparison& c) {
    printDecodeRun(line.name.c_str(), c.ours);
    printDecodeRun("ffmpeg", c.ffmpeg);
    // Times, not rates: the key-frame pass decodes fewer pictures than the
    // plain decode it is set against.
    std::printf("ratio %s/ffmpeg time: %.3f\n", line.ratio.c_str(),
                c.ours.seconds / c.ffmpeg.seconds);
    if (!line.note.empty())
        std::printf("%s\n", line.note.c_str());
}

int benchAnalyse(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaro-bench analyse FILE\n");
        return 2;
    }
    const char* path = argv[1];

    char folder[] = "/tmp/tessaro-bench-store-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::fprintf(stderr, "tessaro-bench analyse: cannot make a temporary folder\n");
        return 1;
    }
    StoreConfig config;
    config.folder = folder;
    std::string notice;
    std::unique_ptr<DescriptorStore> store = DescriptorStore::open(config, &notice);
    if (!store) {
        std::filesystem::remove_all(folder);
        std::fprintf(stderr, "tessaro-bench analyse: no store: %s\n", notice.c_str());
        return 1;
    }
    int run = 0;
    std::vector<Line> lines;
    lines.push_back({"analyse", "analyse", [&] { return analyse(path, nullptr, 0); }, ""});
    lines.push_back(
        {"analyse+store", "analyse+store", [&] { return analyse(path, store.get(), ++run); }, ""});
    lines.push_back({"one pass", "one pass", [&] { return analyse(path, nullptr, 0, true); },
                     "(the analysis in one pass, a decoder thread a core)"});
    lines.push_back({"key frames", "key frames", [path] { return glance(path); },
                     "(the key-frame pass: its pictures are the key frames it decoded)"});

    bool ranged = false;
    const std::string onePass = descriptorFile(path, RangePolicy{1, cores()}, &ranged);
    std::vector<int> coreCounts{1, 2, cores()};
    coreCounts.erase(std::unique(coreCounts.begin(), coreCounts.end()), coreCounts.end());
    for (const int count : coreCounts) {
        const RangePolicy policy = forcedRanges(count);
        const bool same = descriptorFile(path, policy, &ranged) == onePass && !onePass.empty();
        if (!ranged) {
            std::printf("ranged %d cores: the file is read in one pass (see planStretches)\n",
                        count);
            break;
        }
        char name[96];
        std::snprintf(name, sizeof name, "ranged %d cores (%d ranges x %d decoder threads)", count,
                      policy.ranges, policy.decoderThreads);
        lines.push_back({name, "ranged", [path, policy] { return analyseRanged(path, policy); },
                         std::string("same bytes as one pass: ") + (same ? "yes" : "no")});
    }

    bool failed = false;
    for (const Line& line : lines) {
        const Comparison c = compareWithFfmpeg(line.run, path);
        if (!c.ours.ok || !c.ffmpeg.ok) {
            std::fprintf(stderr, "tessaro-bench analyse: cannot run '%s' on %s\n",
                         line.name.c_str(), path);
            failed = true;
            break;
        }
        printLine(line, c);
    }
    store.reset();
    std::filesystem::remove_all(folder);
    return failed ? 1 : 0;
}

const BenchRegistration analyseRegistration("analyse", "FILE", &benchAnalyse);
} // namespace

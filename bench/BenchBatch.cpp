// tessaro-bench batch [FOLDER]: tessaro-summarize --jobs 2 over a folder of 8
// short 720p files against two plain FFmpeg decodes of the same files side
// by side (four files each), in the same run: what a batch gets out of the
// machine compared with decoding alone.

#include "Bench.h"
#include "BenchPrograms.h"
#include "PlainDecode.h"
#include "QualityVideos.h"
#include "WorkerPool.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kBatchFiles = 8;
constexpr int kBatchRounds = 3;

// Each file from one of FFmpeg's sources, with grain so that no picture is
// cheaper to code than footage's would be; made once, under another name
// until whole.
std::string batchFile(const std::string& folder, int index, std::string* error) {
    static const char* const sources[] = {"testsrc2", "mandelbrot", "smptehdbars", "life"};
    const std::string path = folder + "/clip" + std::to_string(index + 1) + ".mp4";
    if (std::filesystem::exists(path))
        return path;
    const std::string source =
        std::string(sources[index % 4]) +
        "=size=1280x720:rate=25,trim=duration=" + std::to_string(6 + index % 3) +
        ",noise=alls=10:allf=t,format=yuv420p";
    const std::string partial = path + ".part.mp4";
    if (!runProgram({"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y", "-f",
                     "lavfi", "-i", source, "-c:v", "libx264", "-preset", "veryfast", "-g", "50",
                     partial}) ||
        std::rename(partial.c_str(), path.c_str()) != 0) {
        *error = "ffmpeg could not make " + path;
        return {};
    }
    return path;
}

// The files decoded by two threads at once, each taking every other file.
DecodeRun twoPlainDecodes(const std::vector<std::string>& files) {
    DecodeRun halves[2];
    const auto start = std::chrono::steady_clock::now();
    WorkerPool pool(1);
    pool.run(2, [&](size_t half) {
        halves[half].ok = true;
        for (size_t i = half; i < files.size(); i += 2) {
            const DecodeRun one = plainFfmpegDecode(files[i].c_str());
            halves[half].ok = halves[half].ok && one.ok;
            halves[half].pictures += one.pictures;
        }
    });
    DecodeRun run;
    run.ok = halves[0].ok && halves[1].ok;
    run.pictures = halves[0].pictures + halves[1].pictures;
    run.seconds = secondsSince(start);
    return run;
}

int benchBatch(int argc, char** argv) {
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tessaro-bench-batch");
    std::filesystem::create_directories(folder);
    std::vector<std::string> files;
    std::string error;
    for (int i = 0; i < kBatchFiles; ++i) {
        files.push_back(batchFile(folder, i, &error));
        if (files.back().empty()) {
            std::fprintf(stderr, "tessaro-bench %s: %s\n", argv[0], error.c_str());
            return 1;
        }
    }
    // Without the store every run decodes, as a first run over a library does.
    std::vector<std::string> batch = {
        summarizeProgram(), "-q", "--no-store", "--jobs", "2", "--out-dir", folder + "/out"};
    batch.insert(batch.end(), files.begin(), files.end());
    const Comparison result = alternateRuns([&] { return timeCommand(batch); },
                                            [&] { return twoPlainDecodes(files); }, kBatchRounds);
    if (!result.ours.ok || !result.ffmpeg.ok) {
        std::fprintf(stderr, "tessaro-bench %s: %s\n", argv[0],
                     result.ours.ok ? "a plain decode failed" : "tessaro-summarize failed");
        return 1;
    }
    const double ours = result.ffmpeg.pictures / result.ours.seconds;
    const double plain = result.ffmpeg.rate();
    std::printf("batch --jobs 2: %.2f s, %.1f pictures/s\n"
                "two plain decodes in parallel: %.2f s, %.1f pictures/s\n"
                "throughput ratio batch/plain: %.2f\n",
                result.ours.seconds, ours, result.ffmpeg.seconds, plain, ours / plain);
    return 0;
}

const BenchRegistration batchRegistration("batch", "[FOLDER]", &benchBatch);
} // namespace

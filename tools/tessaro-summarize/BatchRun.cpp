#include "BatchRun.h"

#include "BatchPlan.h"
#include "BatchProgress.h"
#include "DoneRecord.h"
#include "EngineFailure.h"
#include "SegmentList.h"
#include "VideoKey.h"
#include "WorkerPool.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// A time, or null when it is not known.
Json seconds(double value) {
    return value < 0 ? Json() : Json(value);
}

const char* listEnd(ListFormat format) {
    switch (format) {
    case ListFormat::Csv:
        return "csv";
    case ListFormat::Edl:
        return "edl";
    case ListFormat::Chapters:
        return "chapters.txt";
    case ListFormat::Otio:
        return "otio";
    case ListFormat::Fcpxml:
        return "fcpxml";
    case ListFormat::Mlt:
        return "mlt";
    case ListFormat::Json:
        break;
    }
    return nullptr;
}

std::vector<std::string> videosOf(const std::vector<BatchItem>& items) {
    std::vector<std::string> videos;
    for (const BatchItem& item : items)
        videos.push_back(item.video);
    return videos;
}

class Batch {
public:
    Batch(const SummarizeOptions& o, std::vector<BatchItem> list, const std::atomic<bool>& stop,
          const NoteFunction& n, bool showProgress)
        : options(o), items(std::move(list)), interrupted(stop),
          progress(stderr, showProgress, videosOf(items), terminalColumns(STDERR_FILENO) - 1),
          note([this, &n](const std::string& text) { progress.aside([&] { n(text); }); }),
          lines(items.size()) {
        const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        const int budget = options.threads > 0 ? options.threads : cores;
        // Alone and uncapped, a video decodes as a lone run does.
        if (options.jobs > 1 || options.threads > 0)
            decoderThreads = std::max(1, budget / options.jobs);
        encoderThreads = options.threads > 0 ? decoderThreads : 0;
    }

    // Runs every video, writing each line once those before it are written.
    int run(std::FILE* report) {
        WorkerPool pool(std::min(items.size(), static_cast<size_t>(options.jobs)));
        pool.start(items.size(), [this](size_t i) { work(i); });
        size_t written = 0;
        bool failed = false, partly = false, unwritable = false;
        const auto write = [&](const BatchLine& line) {
            failed = failed || std::strcmp(line.status, "failed") == 0;
            partly = partly || line.outcome.status == EXIT_PARTLY_READ;
            const std::string text = formatReportLine(line) + "\n";
            progress.aside([&] {
                unwritable = unwritable ||
                             std::fwrite(text.data(), 1, text.size(), report) != text.size() ||
                             std::fflush(report) != 0;
            });
        };
        for (;;) {
            // Taken first: once every video is done, every line there is is in.
            const bool allDone = pool.allDone();
            std::unique_lock lock(mutex);
            while (written < lines.size() && lines[written]) {
                const BatchLine line = *lines[written++];
                lock.unlock();
                write(line);
                lock.lock();
            }
            if (written == lines.size() || interrupted || allDone)
                break;
            lock.unlock();
            progress.draw();
            finished.waitFor(ProgressLine::kInterval / 2);
        }
        pool.finish();
        progress.finish();
        if (interrupted) {
            // Videos finished after one that was cut short keep their lines.
            for (; written < lines.size(); ++written)
                if (lines[written])
                    write(*lines[written]);
            note("interrupted; the videos not finished have no output");
            return EXIT_INTERRUPTED;
        }
        if (unwritable) {
            note("cannot write the report to standard output");
            return EXIT_OUTPUT;
        }
        if (failed)
            return EXIT_SOME_FAILED;
        return partly ? EXIT_PARTLY_READ : EXIT_OK;
    }

private:
    // Once interrupted, the videos not yet begun are passed over.
    void work(size_t i) {
        if (interrupted)
            return;
        progress.started(i);
        std::optional<BatchLine> line = summarize(items[i], i);
        progress.ended(i);
        const std::lock_guard lock(mutex);
        lines[i] = std::move(line);
        finished.notify();
    }

    // The video's line; none when it was interrupted.
    std::optional<BatchLine> summarize(const BatchItem& item, size_t i) {
        const auto start = std::chrono::steady_clock::now();
        BatchLine line;
        line.input = item.video;
        VideoTask task = taskFor(item);
        std::vector<std::string> files;
        for (const auto& list : task.lists)
            files.push_back(list.second);
        if (!task.descriptorFile.empty())
            files.push_back(task.descriptorFile);
        // Written even for an empty summary (empty then).
        if (!task.subtitles.empty())
            files.push_back(task.subtitles);
        std::vector<std::string> whenKept;
        for (const std::string* file : {&task.output, &task.contactSheet})
            if (!file->empty())
                whenKept.push_back(*file);

        const std::string content = videoKey(item.video, ReaderOptions{}).content;
        const DoneCheck done =
            options.skipDone ? checkDone(task.record, content, options.settings, files, whenKept,
                                        options.audioTrack)
                             : DoneCheck{};
        if (done.done) {
            line.status = "skipped";
            line.outcome.duration = done.duration;
            line.outcome.kept = done.kept;
        } else {
            // Gone until every other file is written, so that a run cut
            // short is not taken for a finished one.
            std::remove(task.record.c_str());
            task.recordFields = recordFields(content, options.settings, options.audioTrack);
            BatchProgress::Video shown(progress, i);
            task.progress = &shown;
            line.outcome = summarizeCaught(task);
            if (line.outcome.status == EXIT_INTERRUPTED)
                return std::nullopt;
            if (line.outcome.status == EXIT_PARTLY_READ) {
                line.status = "partly read";
                note(line.outcome.error);
            } else if (line.outcome.status != EXIT_OK) {
                line.status = "failed";
                note(line.outcome.error);
            }
        }
        line.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return line;
    }

    // The engine's failures end this video, not the batch.
    VideoOutcome summarizeCaught(const VideoTask& task) {
        VideoOutcome outcome;
        try {
            return summarizeVideo(task, interrupted, note);
        } catch (const EngineFailure& e) {
            outcome.status = e.status;
            outcome.error = e.what();
        } catch (const std::exception& e) {
            outcome.status = EXIT_INTERNAL;
            outcome.error = std::string("internal error: ") + e.what();
        }
        return outcome;
    }

    VideoTask taskFor(const BatchItem& item) const {
        VideoTask task;
        task.video = item.video;
        task.settings = options.settings;
        task.record = item.file("json");
        if (const char* end = listEnd(options.format))
            task.lists.emplace_back(options.format, item.file(end));
        if (!options.output.empty())
            task.output = item.file(options.output);
        if (!options.contactSheet.empty())
            task.contactSheet = item.file(options.contactSheet);
        if (!options.subtitles.empty())
            task.subtitles = item.file(options.subtitles);
        task.audioTrack = options.audioTrack;
        std::vector<std::string> descriptorFiles = {item.video + kDescriptorFileSuffix};
        if (!options.outDir.empty())
            descriptorFiles.push_back(item.file("tessaro"));
        task.sources = analysisSources(options, descriptorFiles);
        if (options.saveDescriptors) {
            task.descriptorFile = item.file("tessaro");
            task.sources.keepPortable = true;
            task.sources.keyFramesFirst = options.keyFramesFirst;
        }
        task.decoderThreads = decoderThreads;
        task.encoderThreads = encoderThreads;
        return task;
    }

    const SummarizeOptions& options;
    const std::vector<BatchItem> items;
    const std::atomic<bool>& interrupted;
    BatchProgress progress;
    // Notes come from the workers too: each with the progress line cleared.
    const NoteFunction note;
    int decoderThreads = 0;
    int encoderThreads = 0;
    Wakeup finished;
    std::mutex mutex;
    std::vector<std::optional<BatchLine>> lines;
};

} // namespace

std::string formatReportLine(const BatchLine& line) {
    const VideoOutcome& o = line.outcome;
    Json outputs = Json::array();
    for (const auto& file : o.written)
        outputs.push_back(file.first);
    Json report = Json::object();
    report["input"] = line.input;
    report["status"] = line.status;
    report["exit"] = o.status;
    report["outputs"] = std::move(outputs);
    report["duration"] = seconds(o.duration);
    report["kept"] = seconds(o.kept);
    report["seconds"] = seconds(line.seconds);
    report["error"] = o.status == EXIT_OK ? Json() : Json(o.error);
    JsonLayout layout;
    layout.decimalsOf = {{"seconds", 2}};
    return jsonText(report, layout);
}

int runBatch(const SummarizeOptions& options, std::FILE* report,
             const std::atomic<bool>& interrupted, const NoteFunction& note) {
    std::vector<std::string> videos = options.videos;
    if (!options.from.empty()) {
        std::ifstream file;
        if (options.from != "-")
            file.open(options.from);
        std::istream& in = options.from == "-" ? std::cin : file;
        if ((options.from != "-" && !file.is_open()) || !readVideoList(in, &videos)) {
            note("cannot read the list '" + options.from + "': " + std::strerror(errno));
            return EXIT_USAGE;
        }
    }
    std::error_code error;
    if (!options.outDir.empty() && !std::filesystem::create_directories(options.outDir, error) &&
        error) {
        note("cannot make the folder '" + options.outDir + "': " + error.message());
        return EXIT_OUTPUT;
    }
    const std::vector<BatchItem> all = planBatch(videos, options.outDir);
    std::vector<BatchItem> mine;
    for (const size_t i : shardOf(all.size(), options.shard, options.shards))
        mine.push_back(all[i]);
    Batch batch(options, std::move(mine), interrupted, note,
                !options.quiet && isatty(STDERR_FILENO));
    return batch.run(report);
}

#include "Summarize.h"

#include "ContactSheet.h"
#include "EngineFailure.h"
#include "HeadlessSummary.h"
#include "Messages.h"
#include "MuxerChapters.h"
#include "OutputFile.h"
#include "PlaybackReader.h"
#include "ProgressLine.h"
#include "SegmentList.h"
#include "SummarizeOptions.h"
#include "SummaryVideoWriter.h"
#include "VideoProbe.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr const char* kProgram = "tessaro-summarize";

std::atomic<bool> interrupted{false};

void onSignal(int) {
    interrupted = true;
}

void note(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

int report(int status, const std::string& message) {
    note(message);
    return status;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Standard output carries the segment list alone: the engine's notes (a
// seek that failed, a damaged stream) go to standard error with --verbose,
// one to a line, and nowhere without.
class EngineLog final : public MessageSink {
public:
    explicit EngineLog(bool shown) : shown(shown) {}
    void write(MessageStream, const char* text) override {
        if (!shown)
            return;
        // The engine's texts begin or end with line breaks of their own.
        std::string line(text);
        line.erase(0, line.find_first_not_of('\n'));
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (!line.empty())
            std::fprintf(stderr, "%s: engine: %s\n", kProgram, line.c_str());
    }

private:
    const bool shown;
};

struct Outputs {
    std::unique_ptr<OutputFile> videoFile;
    // The video as encoded, before its copy with chapters goes to videoFile.
    std::unique_ptr<OutputFile> videoBody;
    std::unique_ptr<OutputFile> sheetFile;
    std::unique_ptr<SummaryVideoWriter> writer;
    std::unique_ptr<ContactSheet> sheet;
    std::string error;
};

int run(const SummarizeOptions& options, std::FILE* results) {
    const std::string& path = options.video;
    if (!options.output.empty() && sameFile(options.output, path))
        return report(EXIT_USAGE, "--output would overwrite the video being summarised");
    if (!options.contactSheet.empty() && sameFile(options.contactSheet, path))
        return report(EXIT_USAGE, "--contact-sheet would overwrite the video being summarised");
    if (!options.output.empty() && options.output == options.contactSheet)
        return report(EXIT_USAGE, "--output and --contact-sheet name the same file");

    const VideoProbe probe = probeVideo(path);
    if (!probe.ok)
        return report(probe.exitStatus, probe.error);

    // Temporary files first, so that an unwritable place fails before the work.
    Outputs out;
    if (!options.output.empty()) {
        out.videoFile = std::make_unique<OutputFile>(options.output);
        out.videoBody = std::make_unique<OutputFile>(options.output);
        if (!out.videoFile->create(&out.error) || !out.videoBody->create(&out.error))
            return report(EXIT_OUTPUT, out.error);
    }
    if (!options.contactSheet.empty()) {
        out.sheetFile = std::make_unique<OutputFile>(options.contactSheet);
        if (!out.sheetFile->create(&out.error))
            return report(EXIT_OUTPUT, out.error);
    }

    ProgressLine progress(stderr, !options.quiet && isatty(STDERR_FILENO), probe.duration);
    StoreConfig store = StoreConfig::fromEnvironment();
    store.enabled = store.enabled && !options.noStore;
    HeadlessSummary summary(path, options.settings, store);
    // The kept pictures are read again rather than held while the tree
    // decides: the summary itself needs only their descriptors.
    ReaderOptions readAgain;
    readAgain.audio = false;
    PlaybackReader keptPictures(path, readAgain);
    std::vector<PictureFrame> frames;
    std::vector<SummaryVideoWriter::TimedPicture> pictures;
    bool outputFailed = false;

    auto onKept = [&](const KeptFragment& fragment, const Decision& decision) {
        if (!out.videoFile && !out.sheetFile)
            return !interrupted;
        frames.clear();
        pictures.clear();
        if (!keptPictures.read(decision, frames)) {
            out.error = "the kept pictures cannot be read again from '" + path + "'";
            outputFailed = true;
            return false;
        }
        for (const PictureFrame& frame : frames)
            pictures.push_back({frame.picture.avFrame(), frame.frameTime});
        const int width = frames.front().picture.width();
        const int height = frames.front().picture.height();
        if (out.videoFile) {
            if (!out.writer) {
                out.writer = std::make_unique<SummaryVideoWriter>();
                const VideoWriterFormat format{
                    width,        height,      probe.frameRateNum, probe.frameRateDen,
                    probe.sarNum, probe.sarDen};
                if (!out.writer->open(out.videoBody->temporaryPath(), format,
                                      probe.hasAudio ? path : std::string(), &out.error)) {
                    outputFailed = true;
                    return false;
                }
            }
            if (!out.writer->addSpan(fragment.start, fragment.end, pictures, &out.error)) {
                outputFailed = true;
                return false;
            }
        }
        // The sheet shows the first picture of each segment.
        const std::vector<KeptFragment>& kept = summary.keptFragments();
        const bool startsSegment =
            kept.size() < 2 || !continuesSegment(kept[kept.size() - 2], fragment);
        if (out.sheetFile && startsSegment) {
            if (!out.sheet)
                out.sheet =
                    std::make_unique<ContactSheet>(width, height, probe.sarNum, probe.sarDen);
            if (!out.sheet->add(pictures.front().picture, fragment.start)) {
                out.error = "cannot scale a picture for the contact sheet";
                outputFailed = true;
                return false;
            }
        }
        return !interrupted;
    };
    auto onProgress = [&](double position, int64_t pictures) {
        progress.update(position, pictures);
        return !interrupted;
    };

    const bool completed = summary.run(onKept, onProgress);
    progress.finish();
    if (!summary.storeNotice().empty())
        note(summary.storeNotice());
    if (interrupted)
        return report(EXIT_INTERRUPTED, "interrupted; no output written");
    if (outputFailed || !completed)
        return report(EXIT_OUTPUT, out.error.empty() ? "stopped" : out.error);
    if (summary.picturesDecoded() == 0)
        return report(EXIT_NO_VIDEO, "'" + path + "' has no decodable video pictures");

    SummaryReport summaryReport;
    summaryReport.video = path;
    summaryReport.duration = probe.duration;
    summaryReport.frameRateNum = probe.frameRateNum;
    summaryReport.frameRateDen = probe.frameRateDen;
    summaryReport.hasAudio = probe.hasAudio;
    summaryReport.settings = options.settings;
    summaryReport.segments = mergeFragments(summary.keptFragments());
    const bool empty = summaryReport.segments.empty();

    if (out.videoFile) {
        if (empty) {
            out.videoFile->discard();
            note("the summary is empty: no video written to '" + options.output + "'");
        } else if (!out.writer->finish(&out.error) ||
                   !copyWithChapters(out.videoBody->temporaryPath(), out.videoFile->temporaryPath(),
                                     segmentChapters(summaryReport.segments, true), &out.error) ||
                   !out.videoFile->commit(&out.error)) {
            return report(EXIT_OUTPUT, out.error);
        }
    }
    if (out.sheetFile) {
        if (empty) {
            out.sheetFile->discard();
            note("the summary is empty: no contact sheet written to '" + options.contactSheet +
                 "'");
        } else if (!out.sheet->writePng(out.sheetFile->temporaryPath(), &out.error) ||
                   !out.sheetFile->commit(&out.error)) {
            return report(EXIT_OUTPUT, out.error);
        }
    }

    const std::string list = formatList(summaryReport, options.format);
    if (std::fwrite(list.data(), 1, list.size(), results) != list.size() ||
        std::fflush(results) != 0)
        return report(EXIT_OUTPUT, "cannot write the segment list to standard output");
    return EXIT_OK;
}

} // namespace

int summarizeMain(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    switch (parsed.action) {
    case ParsedCommandLine::Action::Error:
        return report(EXIT_USAGE, parsed.error);
    case ParsedCommandLine::Action::Help:
        std::fputs(helpText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_OUTPUT;
    case ParsedCommandLine::Action::Version:
        std::fputs(versionText().c_str(), stdout);
        return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_OUTPUT;
    case ParsedCommandLine::Action::Run:
        break;
    }

    // Pictures are allocated and freed by the thousand, each a megabyte or
    // more: keep freed ones for reuse instead of handing them back to the
    // kernel and faulting fresh pages in for the next.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);

    // FFmpeg's own diagnostics would break the progress line; failures that
    // matter are reported here in one line each.
    av_log_set_level(AV_LOG_FATAL);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    EngineLog log(parsed.options.verbose);
    setMessageSink(&log);
    int status = EXIT_INTERNAL;
    try {
        status = run(parsed.options, stdout);
    } catch (const EngineFailure& e) {
        // The engine cannot go on (memory exhausted, a broken tree): its
        // message among its other notes, and its status.
        engineMessage(MessageStream::Output, "%s", e.what());
        flushEngineMessages();
        status = e.status;
    } catch (const std::exception& e) {
        report(EXIT_INTERNAL, std::string("internal error: ") + e.what());
    }
    setMessageSink(nullptr);
    return status;
}

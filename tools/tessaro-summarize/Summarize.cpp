#include "Summarize.h"

#include "BatchRun.h"
#include "EngineFailure.h"
#include "Messages.h"
#include "ProgressLine.h"
#include "SummarizeOptions.h"
#include "SummarizeVideo.h"

#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>

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

int run(const SummarizeOptions& options, std::FILE* results) {
    if (options.batch())
        return runBatch(options, results, interrupted, note);
    VideoTask task;
    task.video = options.video;
    task.settings = options.settings;
    task.format = options.format;
    task.results = results;
    task.output = options.output;
    task.contactSheet = options.contactSheet;
    task.subtitles = options.subtitles;
    task.audioTrack = options.audioTrack;
    TerminalProgress progress(!options.quiet && isatty(STDERR_FILENO));
    task.progress = &progress;
    task.decoderThreads = options.threads;
    task.encoderThreads = options.threads;
    task.sources = analysisSources(options, {options.video + kDescriptorFileSuffix});
    if (options.saveDescriptors) {
        task.descriptorFile = options.video + kDescriptorFileSuffix;
        task.sources.keepPortable = true;
        task.sources.keyFramesFirst = options.keyFramesFirst;
    }
    const VideoOutcome outcome = summarizeVideo(task, interrupted, note);
    if (outcome.status != EXIT_OK)
        note(outcome.error);
    return outcome.status;
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

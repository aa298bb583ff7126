#pragma once

// tessaro-summarize over many videos: the list (named videos, then --from),
// this run's shard of it, each video's files under names of its own (see
// BatchPlan), --jobs videos at once, and one JSON line per video on the
// report stream, in the list's order:
//   {"input": ..., "status": "ok"|"skipped"|"partly read"|"failed", "exit": N,
//    "outputs": [...], "duration": S, "kept": S, "seconds": S, "error": ...}
// A video partly read has its outputs, of what could be read, and is not
// done for --skip-done. Returns 0 when every video was done or skipped,
// EXIT_SOME_FAILED when one failed, else EXIT_PARTLY_READ when one was partly
// read, EXIT_INTERRUPTED on a signal (lines of the finished videos kept).

#include "SummarizeOptions.h"
#include "SummarizeVideo.h"

#include <atomic>
#include <cstdio>

int runBatch(const SummarizeOptions& options, std::FILE* report,
             const std::atomic<bool>& interrupted, const NoteFunction& note);

// The report line of one video, without its line end.
struct BatchLine {
    std::string input;
    const char* status = "ok"; // ok, skipped, partly read, failed
    VideoOutcome outcome;
    double seconds = 0.0;
};
std::string formatReportLine(const BatchLine& line);

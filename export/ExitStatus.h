#pragma once

// How writing a summary ended: the tool's exit statuses, each documented in
// its --help and the README, and what the player's save reports.
enum ExitStatus : int {
    EXIT_OK = 0,
    EXIT_INTERNAL = 1,     // an unexpected failure inside the program
    EXIT_USAGE = 2,        // bad command line: unknown option, missing or out-of-range value
    EXIT_UNREADABLE = 3,   // the video file is missing or cannot be read
    EXIT_NO_VIDEO = 4,     // the file is not a video: no video stream or nothing decodable
    EXIT_OUTPUT = 5,       // an output (file or standard output) could not be written
    EXIT_SOME_FAILED = 6,  // a batch: some videos failed (their report lines say why)
    EXIT_PARTLY_READ = 7,  // summarised as far as it can be read: the rest of the file cannot be
    EXIT_INTERRUPTED = 130 // stopped by SIGINT or SIGTERM; no output left behind
};

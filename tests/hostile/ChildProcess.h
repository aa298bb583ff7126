#pragma once

// Runs a program as a child process with its output in files, optionally
// asks it to stop with SIGTERM after a while, and reports how it ended and
// its peak resident memory.

#include <string>
#include <vector>

struct ChildOutcome {
    bool started = false;
    bool exited = false;    // ended by itself or on SIGTERM, with a status
    int status = -1;        // exit status when exited
    int signal = 0;         // the signal that killed it otherwise
    bool hung = false;      // had to be killed: it did not end after SIGTERM
    long peakKilobytes = 0; // peak resident memory
    std::string out;
    std::string err;
};

// Waits for the child to end. With termAfterMs >= 0 it sends SIGTERM that
// long after readyText appears on the child's standard output (after the
// start when readyText is empty). A child still running hangMs after the
// SIGTERM, or after the start when none is due yet, is killed and reported
// hung: the bound only detects hangs.
ChildOutcome runChild(const std::vector<std::string>& arguments, int termAfterMs, int hangMs,
                      const std::string& workingDirectory, const std::string& readyText = {});

#pragma once

// Runs a program (the player, tessaro-summarize, cmake) as a child process
// with its output captured, and reports how it ended.

#include <functional>
#include <string>
#include <vector>

struct Child {
    std::vector<std::string> command{}; // the program's path, then its arguments
    std::string directory{};            // working directory; empty: the test's
    bool terminal = false;              // standard error on a terminal (read into err)
    // Once ready(output so far) holds, and delayMs later, the child is sent SIGTERM.
    std::function<bool(const std::string& out)> ready{};
    int delayMs = 0;
};

struct ChildRun {
    int status = -1;   // exit status, -1 unless it exited
    int signal = 0;    // the signal that ended it otherwise
    bool hung = false; // still running after a long bound, so killed
    long peakKilobytes = 0;
    std::string out;
    std::string err;
};

// Only a hang meets the bound (minutes): a test that hangs fails, not CI.
ChildRun runChild(const Child& child);

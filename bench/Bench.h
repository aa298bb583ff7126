#pragma once

// Sub-commands of tessaro-bench. Each benchmark file registers its own with a
// static BenchRegistration; main() dispatches on the first argument.

#include <chrono>
#include <ctime>

using BenchFunction = int (*)(int argc, char** argv); // argv[0] is the sub-command

struct BenchRegistration {
    BenchRegistration(const char* name, const char* usage, BenchFunction function);
};

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of this thread: a figure that should not depend on what
// else the machine is running.
inline double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec * 1e-9;
}

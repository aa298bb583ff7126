#pragma once

// Sub-commands of tessaro-bench. Each benchmark file registers its own with a
// static BenchRegistration; main() dispatches on the first argument.

#include <chrono>

using BenchFunction = int (*)(int argc, char** argv); // argv[0] is the sub-command

struct BenchRegistration {
    BenchRegistration(const char* name, const char* usage, BenchFunction function);
};

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

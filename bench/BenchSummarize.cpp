// tessaro-bench summarize [OPTION...] FILE: the tessaro-summarize program at
// its default settings (or with the options given) against FFmpeg's scene-change detector (ffmpeg
// -vf scdet), the closest thing a user has today, on the same file in the same run.

#include "Bench.h"
#include "BenchPrograms.h"
#include "PlainDecode.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::string directoryOfThisProgram() {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    std::string p(path, static_cast<size_t>(n));
    return p.substr(0, p.find_last_of('/'));
}
} // namespace

// The build tree's program beside this one's, the installed one beside it,
// or the one on PATH; TESSARO_SUMMARIZE names another.
std::string summarizeProgram() {
    if (const char* chosen = std::getenv("TESSARO_SUMMARIZE"))
        return chosen;
    const std::string here = directoryOfThisProgram();
    for (const std::string& candidate :
         {here + "/../tools/tessaro-summarize/tessaro-summarize", here + "/tessaro-summarize"})
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    return "tessaro-summarize";
}

// Runs a command with its output thrown away and times it; not ok when it
// did not exit with status 0.
DecodeRun timeCommand(const std::vector<std::string>& command) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return {};
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    DecodeRun run;
    run.ok = true;
    run.seconds = secondsSince(start);
    return run;
}

namespace {

constexpr int kRounds = 5;

int benchSummarize(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessaro-bench %s [OPTION...] FILE\n", argv[0]);
        return 2;
    }
    // Options before the file are tessaro-summarize's (--shot-aware, a target...).
    const std::string file = argv[argc - 1];
    // The store would spare every run after the first its decoding.
    std::vector<std::string> summarize = {summarizeProgram(), "-q", "--no-store"};
    summarize.insert(summarize.end(), argv + 1, argv + argc);
    const std::vector<std::string> scdet = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                            "error",  "-i",       file,           "-vf",
                                            "scdet",  "-f",       "null",         "-"};
    const Comparison result = alternateRuns([&] { return timeCommand(summarize); },
                                            [&] { return timeCommand(scdet); }, kRounds);
    if (!result.ours.ok) {
        std::fprintf(stderr, "tessaro-bench %s: %s failed on %s\n", argv[0], summarize[0].c_str(),
                     file.c_str());
        return 1;
    }
    if (!result.ffmpeg.ok) {
        std::fprintf(stderr, "tessaro-bench %s: ffmpeg -vf scdet failed on %s\n", argv[0],
                     file.c_str());
        return 1;
    }
    const double s = result.ours.seconds;
    const double f = result.ffmpeg.seconds;
    std::printf("summarize: %.2f s\nscdet: %.2f s\nratio summarize/scdet: %.2f\n", s, f, s / f);
    return 0;
}

const BenchRegistration summarizeRegistration("summarize", "[OPTION...] FILE", &benchSummarize);
} // namespace

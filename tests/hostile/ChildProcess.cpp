#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string temporaryFile(const char* stem) {
    std::string name = std::string("/tmp/tessaro-") + stem + "-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0)
        close(fd);
    return name;
}

} // namespace

ChildOutcome runChild(const std::vector<std::string>& arguments, int termAfterMs, int hangMs,
                      const std::string& workingDirectory, const std::string& readyText) {
    ChildOutcome outcome;
    const std::string outPath = temporaryFile("out");
    const std::string errPath = temporaryFile("err");

    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(errPath.c_str(), O_WRONLY | O_TRUNC);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(workingDirectory.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        std::remove(outPath.c_str());
        std::remove(errPath.c_str());
        return outcome;
    }
    outcome.started = true;

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bool ready = readyText.empty();
    auto termAt = start + std::chrono::milliseconds(termAfterMs);
    const auto hangAt = start + std::chrono::milliseconds(hangMs);
    auto deadline = ready && termAfterMs >= 0 ? termAt : hangAt;
    bool termSent = termAfterMs < 0;
    int status = 0;
    rusage usage{};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (!ready && slurp(outPath).find(readyText) != std::string::npos) {
            ready = true;
            termAt = Clock::now() + std::chrono::milliseconds(termAfterMs);
            if (!termSent)
                deadline = termAt;
        }
        if (Clock::now() >= deadline) {
            if (!termSent) {
                kill(pid, SIGTERM);
                termSent = true;
                deadline = Clock::now() + std::chrono::milliseconds(hangMs);
            } else {
                outcome.hung = true;
                kill(pid, SIGKILL);
                wait4(pid, &status, 0, &usage);
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status)) {
        outcome.exited = !outcome.hung;
        outcome.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
    outcome.peakKilobytes = usage.ru_maxrss;
    outcome.out = slurp(outPath);
    outcome.err = slurp(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return outcome;
}

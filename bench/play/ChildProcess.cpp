#include "ChildProcess.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::atomic<bool> interruptSeen{false};

void onInterrupt(int) {
    interruptSeen = true;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void redirect(int target, const char* path, int flags) {
    const int fd = open(path, flags);
    if (fd >= 0 && fd != target) {
        dup2(fd, target);
        close(fd);
    }
}

} // namespace

void catchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return interruptSeen.load();
}

bool sleepUnlessInterrupted(int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < end) {
        if (interrupted())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !interrupted();
}

ChildProcess::~ChildProcess() {
    stop();
    if (pipeEnd >= 0)
        close(pipeEnd);
}

bool ChildProcess::launch(const std::function<void()>& inChild, Output output, bool quiet) {
    int ends[2] = {-1, -1};
    if (output == Output::Pipe && pipe2(ends, O_CLOEXEC) != 0)
        return false;
    const pid_t parent = getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        if (ends[0] >= 0) {
            close(ends[0]);
            close(ends[1]);
        }
        return false;
    }
    if (child == 0) {
        // Ends with the bench, even when the bench is killed outright.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
        if (output == Output::Discard)
            redirect(STDOUT_FILENO, "/dev/null", O_WRONLY);
        if (output == Output::Pipe)
            dup2(ends[1], STDOUT_FILENO);
        if (quiet)
            redirect(STDERR_FILENO, "/dev/null", O_WRONLY);
        inChild();
        _exit(127);
    }
    pid = child;
    status = -1;
    if (pipeEnd >= 0)
        close(pipeEnd);
    pipeEnd = -1;
    if (output == Output::Pipe) {
        close(ends[1]);
        pipeEnd = ends[0];
    }
    return true;
}

bool ChildProcess::start(const std::vector<std::string>& command, Output output, bool quiet) {
    if (command.empty() || pid > 0)
        return false;
    // Built before the fork: the child only calls exec.
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    return launch([&argv] { execvp(argv[0], argv.data()); }, output, quiet);
}

bool ChildProcess::fork(const std::function<int()>& body, Output output, bool quiet) {
    if (pid > 0)
        return false;
    return launch(
        [&body] {
            const int result = body();
            std::fflush(nullptr);
            _exit(result);
        },
        output, quiet);
}

std::optional<int> ChildProcess::wait(double seconds) {
    if (pid <= 0)
        return status;
    const auto start = Clock::now();
    for (;;) {
        int raw = 0;
        const pid_t ended = waitpid(pid, &raw, WNOHANG);
        if (ended == pid || (ended < 0 && errno != EINTR)) {
            status = ended != pid       ? -1
                     : WIFEXITED(raw)   ? WEXITSTATUS(raw)
                     : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw)
                                        : -1;
            pid = -1;
            return status;
        }
        if (secondsSince(start) >= seconds || interrupted())
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::stop() {
    if (pid > 0) {
        const pid_t child = pid;
        kill(child, SIGTERM);
        const auto start = Clock::now();
        int raw = 0;
        while (waitpid(child, &raw, WNOHANG) == 0 && secondsSince(start) < 3.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (waitpid(child, &raw, WNOHANG) == 0) {
            kill(child, SIGKILL);
            waitpid(child, &raw, 0);
        }
        pid = -1;
    }
}

int runProgram(const std::vector<std::string>& command, double seconds, bool quiet) {
    ChildProcess child;
    if (!child.start(command, ChildProcess::Output::Discard, quiet))
        return -1;
    const std::optional<int> status = child.wait(seconds);
    return status.value_or(-1);
}

std::optional<std::string> programOutput(const std::vector<std::string>& command, double seconds) {
    ChildProcess child;
    if (!child.start(command, ChildProcess::Output::Pipe, true))
        return std::nullopt;
    std::string text;
    const auto start = Clock::now();
    char block[4096];
    for (;;) {
        pollfd watched{child.outputDescriptor(), POLLIN, 0};
        if (secondsSince(start) >= seconds || interrupted())
            return std::nullopt;
        if (poll(&watched, 1, 50) <= 0)
            continue;
        const ssize_t got = read(child.outputDescriptor(), block, sizeof block);
        if (got <= 0)
            break;
        text.append(block, static_cast<size_t>(got));
    }
    const std::optional<int> status = child.wait(seconds);
    if (status != 0)
        return std::nullopt;
    return text;
}

#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {

constexpr auto kHangBound = std::chrono::minutes(5);

// Appends what is waiting on fd; false once it is closed (EIO: a terminal's other side).
bool drain(int fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            into.append(buffer, static_cast<size_t>(n));
        else
            return n < 0 && errno == EAGAIN;
    }
}

} // namespace

ChildRun runChild(const Child& child) {
    ChildRun run;
    // Everything the child needs is made before the fork: a threaded test
    // may hold the allocator's lock while forking.
    std::vector<char*> argv;
    for (const std::string& a : child.command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int out[2], err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (!child.terminal && pipe2(err, O_CLOEXEC) != 0))
        return run;
    const pid_t pid = child.terminal ? forkpty(&err[0], nullptr, nullptr, nullptr) : fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out[1], 1);
        if (!child.terminal)
            dup2(err[1], 2);
        if (child.directory.empty() || chdir(child.directory.c_str()) == 0)
            execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (!child.terminal)
        close(err[1]);
    if (pid < 0)
        return run;
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    fcntl(err[0], F_SETFL, O_NONBLOCK);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto signalAt = Clock::time_point::max();
    bool signalled = false, outOpen = true, errOpen = true;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) != pid) {
        pollfd fds[] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        poll(fds, 2, 20);
        outOpen = outOpen && drain(out[0], run.out);
        errOpen = errOpen && drain(err[0], run.err);
        const auto now = Clock::now();
        if (child.ready && signalAt == Clock::time_point::max() && child.ready(run.out))
            signalAt = now + std::chrono::milliseconds(child.delayMs);
        if (!signalled && now >= signalAt) {
            kill(pid, SIGTERM);
            signalled = true;
        }
        if (now - start > kHangBound) {
            run.hung = true;
            kill(pid, SIGKILL);
        }
    }
    drain(out[0], run.out);
    drain(err[0], run.err);
    close(out[0]);
    close(err[0]);
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    run.peakKilobytes = usage.ru_maxrss;
    return run;
}

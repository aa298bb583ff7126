#pragma once

// The programs the player bench starts (ffmpeg, pactl, parec, a PulseAudio
// server, a copy of itself for each format), each one ended by its own
// process id: when it is done with it, on failure, and on Ctrl-C. A child
// is also told to end when the bench dies (PR_SET_PDEATHSIG), so that no
// recording outlives it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

// From the first call on, SIGINT and SIGTERM only set a flag that the
// bench's waits look at.
void catchInterrupts();
bool interrupted();
// Sleeps, returning early (false) once interrupted.
bool sleepUnlessInterrupted(int milliseconds);

class ChildProcess {
public:
    // What becomes of the child's standard output; its standard error is
    // the bench's unless quiet.
    enum class Output { Inherit, Discard, Pipe };

    ChildProcess() = default;
    // Ends the child if it still runs, and closes its output.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs a program found on PATH; false when it could not be started.
    bool start(const std::vector<std::string>& command, Output output, bool quiet = false);
    // Runs body in a copy of this process, which ends with body's status.
    // Only for a process with no other thread: a copy holds just the caller's.
    bool fork(const std::function<int()>& body, Output output, bool quiet = false);

    pid_t id() const { return pid; }
    // The read end of the child's output, with Output::Pipe; -1 otherwise.
    int outputDescriptor() const { return pipeEnd; }
    // Waits for its end, at most the given seconds and not past an
    // interrupt: its exit status (128 + the signal that ended it), or none
    // while it still runs.
    std::optional<int> wait(double seconds);
    // SIGTERM, a moment to end, then SIGKILL; reaped. Nothing when it has
    // ended. Its output stays open, to be read to its end.
    void stop();

private:
    bool launch(const std::function<void()>& inChild, Output output, bool quiet);

    pid_t pid = -1;
    int pipeEnd = -1;
    int status = -1;
};

// Runs a program to its end (at most the given seconds, not past an
// interrupt) with its output thrown away: its exit status, or -1.
int runProgram(const std::vector<std::string>& command, double seconds = 600, bool quiet = true);
// The same, its standard output returned; none unless it exited with 0.
std::optional<std::string> programOutput(const std::vector<std::string>& command,
                                         double seconds = 30);

#include "SoundSink.h"

#include <chrono>
#include <optional>

#include <unistd.h>

namespace {

constexpr const char* kSink = "tessaro_null";
// An idle null sink wakes within this once a recording runs.
constexpr int kWakeMilliseconds = 2500;
// Enough for a sink that is awake already to deliver its first blocks.
constexpr int kSettleMilliseconds = 300;

std::string firstLine(const std::optional<std::string>& text) {
    if (!text)
        return {};
    return text->substr(0, text->find('\n'));
}

bool serverAnswers() {
    return runProgram({"pactl", "info"}, 10) == 0;
}

std::vector<std::string> monitorRecorder(bool keep) {
    std::vector<std::string> command = {"parec", "-d", std::string(kSink) + ".monitor", "--raw",
                                        "--latency-msec=5"};
    if (keep)
        command.insert(command.end(), {"--format=s16le", "--rate=48000", "--channels=1"});
    return command;
}

} // namespace

bool nullSinkIsDefault() {
    return firstLine(programOutput({"pactl", "get-default-sink"})) == kSink;
}

bool NullSink::open() {
    if (!serverAnswers()) {
        // --exit-idle-time=-1: the server must not leave between two players.
        if (!server.start({"pulseaudio", "--daemonize=no", "--exit-idle-time=-1"},
                          ChildProcess::Output::Discard, true))
            return false;
        for (int i = 0; i < 50 && !serverAnswers(); ++i)
            if (!sleepUnlessInterrupted(100))
                return false;
        if (!serverAnswers())
            return false;
    }
    const std::optional<std::string> sinks = programOutput({"pactl", "list", "short", "sinks"});
    if (!sinks)
        return false;
    if (sinks->find(std::string("\t") + kSink + "\t") == std::string::npos) {
        loadedModule = firstLine(programOutput(
            {"pactl", "load-module", "module-null-sink", std::string("sink_name=") + kSink,
             "sink_properties=device.description=Tessaro-null-sink"}));
        if (loadedModule.empty())
            return false;
    }
    previousDefault = firstLine(programOutput({"pactl", "get-default-sink"}));
    if (previousDefault == kSink)
        previousDefault.clear();
    return runProgram({"pactl", "set-default-sink", kSink}, 10) == 0;
}

NullSink::~NullSink() {
    if (!previousDefault.empty())
        runProgram({"pactl", "set-default-sink", previousDefault}, 10);
    if (!loadedModule.empty())
        runProgram({"pactl", "unload-module", loadedModule}, 10);
    server.stop();
}

Recording::~Recording() {
    stop();
}

bool Recording::start(bool sinkAwake) {
    if (!recorder.start(monitorRecorder(true), ChildProcess::Output::Pipe, true))
        return false;
    const int fd = recorder.outputDescriptor();
    reader = std::thread([this, fd] {
        int16_t block[240];
        size_t pending = 0; // bytes of a sample cut across two reads
        for (;;) {
            const ssize_t got =
                read(fd, reinterpret_cast<char*>(block) + pending, sizeof block - pending);
            if (got <= 0)
                return;
            const double now =
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                    .count();
            const size_t bytes = pending + static_cast<size_t>(got);
            const size_t whole = bytes / sizeof block[0];
            const std::lock_guard lock(mutex);
            samples.insert(samples.end(), block, block + whole);
            arrivals.push_back({samples.size(), now});
            pending = bytes % sizeof block[0];
            if (pending != 0)
                reinterpret_cast<char*>(block)[0] = reinterpret_cast<char*>(block)[bytes - 1];
        }
    });
    return sleepUnlessInterrupted(sinkAwake ? kSettleMilliseconds : kWakeMilliseconds);
}

SoundTrack Recording::stop() {
    recorder.stop();
    if (reader.joinable())
        reader.join();
    const std::lock_guard lock(mutex);
    return SoundTrack(std::move(samples), rate, arrivals);
}

SinkAwake::SinkAwake() {
    if (!nullSinkIsDefault())
        return;
    if (recorder.start(monitorRecorder(false), ChildProcess::Output::Discard, true))
        isReady = sleepUnlessInterrupted(kWakeMilliseconds);
}

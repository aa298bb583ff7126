#include "SoundSink.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include <unistd.h>

namespace {

constexpr const char* kSink = "tessaro_null";
// An idle null sink wakes within this once a recording runs.
constexpr int kWakeMilliseconds = 2500;
// Enough for a sink that never sleeps to deliver the first blocks.
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

bool nullSinkIsDefault() {
    return firstLine(programOutput({"pactl", "get-default-sink"})) == kSink;
}

} // namespace

bool SoundServer::open() {
    char name[] = "/tmp/tessaro-sound-XXXXXX";
    if (mkdtemp(name) == nullptr)
        return false;
    folder = name;
    // Its state and runtime files in its own folder, where nothing else looks.
    setenv("PULSE_RUNTIME_PATH", folder.c_str(), 1);
    setenv("PULSE_STATE_PATH", folder.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + folder + "/native").c_str(), 1);
    // -n: no default modules, so nothing suspends the sink or finds devices.
    if (!server.start({"pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no",
                       "--exit-idle-time=-1", "--disallow-exit", "-L",
                       "module-native-protocol-unix auth-anonymous=1 socket=" + folder + "/native",
                       "-L",
                       std::string("module-null-sink rate=48000 sink_name=") + kSink +
                           " sink_properties=device.description=Tessaro-null-sink"},
                      ChildProcess::Output::Discard, true))
        return false;
    for (int i = 0; i < 50; ++i) {
        if (serverAnswers())
            return true;
        if (server.wait(0.0) || !sleepUnlessInterrupted(100))
            return false;
    }
    return false;
}

SoundServer::~SoundServer() {
    server.stop();
    for (const char* name : {"PULSE_SERVER", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        unsetenv(name);
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

Recording::~Recording() {
    stop();
}

bool Recording::start() {
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
    return sleepUnlessInterrupted(kSettleMilliseconds);
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

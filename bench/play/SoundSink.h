#pragma once

// The PulseAudio null sink the sound checks play into, and recordings of
// its monitor. The null sink plays nothing, in real time. On a server that
// suspends idle sinks (scripts/null-sink's) an idle one sleeps in steps of
// up to two seconds, its clock with it, so a recording must run a moment
// before the sound starts.

#include "ChildProcess.h"
#include "SoundFigures.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A PulseAudio server of the bench's own, whose only output is a null
// sink, for this process (the player in it) and every program it starts
// from then on (PULSE_SERVER). Other sound on the machine neither reaches
// its recordings nor is changed by it, and its sink never sleeps. When it
// goes it ends the server by its id and removes the server's folder.
class SoundServer {
public:
    SoundServer() = default;
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // False when no server could be started.
    bool open();

private:
    ChildProcess server;
    std::string folder;
};

// The sink's monitor recorded as mono 16-bit samples at 48 kHz, each block
// with the moment it came.
class Recording {
public:
    static constexpr int rate = 48000;

    Recording() = default;
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Starts the recorder, on the bench's sound server, and waits for its
    // first blocks. False when it could not be started or was interrupted.
    bool start();
    // Ends the recorder and returns what it recorded.
    SoundTrack stop();

private:
    ChildProcess recorder;
    std::thread reader;
    std::mutex mutex;
    std::vector<int16_t> samples;
    std::vector<Arrival> arrivals;
};

// While it lives, a recording thrown away keeps the null sink awake, when
// it is the default output (measurements then time pictures against a
// sound that flows as on a real device).
class SinkAwake {
public:
    SinkAwake();
    // False when interrupted while waiting for the sink.
    bool ready() const { return isReady; }

private:
    ChildProcess recorder;
    bool isReady = true;
};

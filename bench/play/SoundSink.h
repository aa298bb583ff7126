#pragma once

// The PulseAudio null sink the sound checks play into, and recordings of
// its monitor. The null sink plays nothing, in real time; an idle one sleeps
// in steps of up to two seconds (its clock with it), so a recording must run
// a moment before the sound starts.

#include "ChildProcess.h"
#include "SoundFigures.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Makes the null sink the default output, starting a server when none
// answers. Whatever it changed it undoes when it goes: the default output
// before it, the sink's module if it loaded it, the server if it started it.
class NullSink {
public:
    NullSink() = default;
    ~NullSink();
    NullSink(const NullSink&) = delete;
    NullSink& operator=(const NullSink&) = delete;

    // False when no server or no null sink can be had.
    bool open();

private:
    ChildProcess server;
    std::string previousDefault;
    std::string loadedModule;
};

// True when the default output is the null sink.
bool nullSinkIsDefault();

// The sink's monitor recorded as mono 16-bit samples at 48 kHz, each block
// with the moment it came.
class Recording {
public:
    static constexpr int rate = 48000;

    Recording() = default;
    ~Recording();
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    // Starts the recorder and, unless the sink is known to be awake, waits
    // until it is. False when it could not be started or was interrupted.
    bool start(bool sinkAwake);
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

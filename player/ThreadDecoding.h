#pragma once

// The worker thread that decodes and summarises: it runs the player's loop
// until asked to stop, and waits on the core's wakeup whenever a pass finds
// nothing to do. A failure the engine cannot go on from ends the thread and
// is handed to whoever ends the program.

#include "EngineFailure.h"
#include "PlayerLoop.h"
#include "Worker.h"

#include <functional>

class SoundSink;

class ThreadDecoding {
public:
    ThreadDecoding(const char* inputPath, PlaybackQueue& playbackQueue, PlayerCore& core,
                   const SettingsBoard& settings, SoundSink* audio = nullptr);
    // Stops and joins.
    ~ThreadDecoding() { worker.stop(); }
    ThreadDecoding(const ThreadDecoding&) = delete;
    ThreadDecoding& operator=(const ThreadDecoding&) = delete;

    // Called on the decoding thread with the failure that ended it; set
    // before start.
    void setFailureHandler(std::function<void(const EngineFailure&)> handler) {
        onFailure = std::move(handler);
    }
    void start();
    // Asks the loop to end after the current pass; stop() also joins it.
    void requestStop() { worker.requestStop(); }
    void stop() { worker.stop(); }

    PlayerLoop& loop() { return playerLoop; }

private:
    void run();

    PlayerLoop playerLoop;
    std::function<void(const EngineFailure&)> onFailure;
    Worker worker;
};

#pragma once

// The worker thread that decodes and summarises: it runs the player's loop
// until asked to stop, and waits on the controls' wakeup whenever a pass
// finds nothing to do.

#include "PlayerLoop.h"
#include "Worker.h"

class SoundSink;

class ThreadDecoding {
public:
    ThreadDecoding(const char* inputPath, PlaybackQueue& playbackQueue, SharedControls& controls,
                   const SettingsBoard& settings, SoundSink* audio = nullptr);
    // Stops and joins.
    ~ThreadDecoding() { worker.stop(); }
    ThreadDecoding(const ThreadDecoding&) = delete;
    ThreadDecoding& operator=(const ThreadDecoding&) = delete;

    void start();
    // Asks the loop to end after the current pass; stop() also joins it.
    void requestStop() { worker.requestStop(); }
    void stop() { worker.stop(); }

    PlayerLoop loop;

private:
    void run();

    Worker worker;
};

#include "ThreadDecoding.h"

ThreadDecoding::ThreadDecoding(const char* inputPath, PlaybackQueue& playbackQueue,
                               PlayerCore& core, const SettingsBoard& settings, SoundSink* audio)
    : playerLoop(inputPath, playbackQueue, core, settings, audio), worker(&core.wakeup) {
    // A seek decodes on for up to a minute's pictures: the window that
    // closes, or opens another video, does not wait for it.
    worker.setInterrupt([this] { playerLoop.interrupt(); });
}

void ThreadDecoding::start() {
    worker.start([this] { run(); });
}

void ThreadDecoding::run() {
    try {
        playerLoop.start();
        while (!worker.stopRequested()) {
            if (playerLoop.pass() == PlayerLoop::Next::Wait)
                worker.waitForWake();
        }
    } catch (const EngineFailure& failure) {
        // The engine cannot go on (memory exhausted, a broken tree): the
        // thread ends, and the program ends with the failure's message.
        if (onFailure)
            onFailure(failure);
    }
}

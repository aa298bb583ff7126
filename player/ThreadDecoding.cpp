#include "ThreadDecoding.h"

#include "EngineFailure.h"

#include <cstdio>
#include <cstdlib>

ThreadDecoding::ThreadDecoding(const char* inputPath, PlaybackQueue& playbackQueue,
                               SharedControls& controls, const SettingsBoard& settings,
                               SoundSink* audio)
    : loop(inputPath, playbackQueue, controls, settings, audio), worker(&controls.wakeup) {
    // A seek decodes on for up to a minute's pictures: the window that
    // closes, or opens another video, does not wait for it.
    worker.setInterrupt([this] { loop.interrupt(); });
}

void ThreadDecoding::start() {
    worker.start([this] { run(); });
}

void ThreadDecoding::run() {
    try {
        loop.start();
        while (!worker.stopRequested()) {
            if (loop.pass() == PlayerLoop::Next::Wait)
                worker.waitForWake();
        }
    } catch (const EngineFailure& failure) {
        // The engine cannot go on (memory exhausted, a broken tree): the
        // player ends as such a failure always has, with its message.
        std::printf("%s", failure.what());
        std::fflush(stdout);
        std::_Exit(failure.status);
    }
}

#include "ThreadDecoding.h"

#include "PictureFailure.h"

#include <chrono>

namespace {
constexpr int kSleepStepMilliseconds = 20;
// A wait ends at the first notice; this only bounds a notice that never comes.
constexpr std::chrono::milliseconds kLongestWait{250};
} // namespace

ThreadDecoding::ThreadDecoding(const char* inputPath, FrameBuffer* frameBuffer,
                               SharedControls& controls, AudioOutput* audio)
    : loop(inputPath, frameBuffer, controls, audio) {
    // Short sleeps so that a close request is noticed at once.
    loop.sleep = [this](int ms) {
        for (int slept = 0; slept < ms && !stopping; slept += kSleepStepMilliseconds)
            QThread::msleep(kSleepStepMilliseconds);
    };
}

ThreadDecoding::~ThreadDecoding() {
    requestStop();
    wait();
    const std::lock_guard finished(running);
}

void ThreadDecoding::requestStop() {
    stopping = true;
    loop.stopRequested = true;
    loop.controls.wakeup.notify();
}

void ThreadDecoding::run() {
    const std::lock_guard busy(running);
    try {
        loop.start();
        while (!stopping) {
            if (loop.pass() == PlayerLoop::Next::Wait)
                loop.controls.wakeup.waitFor(kLongestWait);
        }
    } catch (const PictureAllocationError& failure) {
        endOnPictureFailure(failure);
    }
}

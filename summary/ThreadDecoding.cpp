#include "ThreadDecoding.h"

namespace {
constexpr int kSleepStepMilliseconds = 20;
constexpr int kIdleMilliseconds = 100;
} // namespace

ThreadDecoding::ThreadDecoding(const char* inputPath, FrameBuffer* frameBuffer,
                               SharedControls& controls)
    : decodingPass(inputPath, frameBuffer, controls) {
    // Short sleeps so that a close request is noticed at once.
    decodingPass.sleep = [this](int ms) {
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
    decodingPass.stopRequested = true;
}

void ThreadDecoding::run() {
    const std::lock_guard busy(running);
    decodingPass.start();
    while (!stopping) {
        if (decodingPass.pass() == DecodingPass::Next::Sleep)
            decodingPass.sleep(kIdleMilliseconds);
    }
}

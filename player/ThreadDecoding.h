#pragma once

// The worker thread that decodes and summarises: it runs the player's loop
// until asked to stop, and sleeps on the controls' wakeup whenever a pass
// finds nothing to do.

#include "PlayerLoop.h"

#include <QThread>

#include <atomic>
#include <mutex>

class AudioOutput;
class FrameBuffer;

class ThreadDecoding : public QThread {
public:
    ThreadDecoding(const char* inputPath, FrameBuffer* frameBuffer, SharedControls& controls,
                   AudioOutput* audio = nullptr);
    ~ThreadDecoding() override;

    // Asks the loop to end after the current pass; wait() then joins it.
    void requestStop();

    PlayerLoop loop;

protected:
    void run() override;

private:
    std::atomic<bool> stopping{false};
    // Held while run() works: taking it after wait() makes the join visible
    // to race checkers, which do not see inside QThread::wait().
    std::mutex running;
};

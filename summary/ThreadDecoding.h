#pragma once

// The worker thread that decodes and summarises: it runs DecodingPass until
// asked to stop.

#include "DecodingPass.h"

#include <QThread>

class FrameBuffer;

class ThreadDecoding : public QThread {
public:
    ThreadDecoding(const char* inputPath, FrameBuffer* frameBuffer, SharedControls& controls);
    ~ThreadDecoding() override;

    // Asks the loop to end after the current pass; wait() then joins it.
    void requestStop();

    DecodingPass decodingPass;

protected:
    void run() override;

private:
    std::atomic<bool> stopping{false};
};

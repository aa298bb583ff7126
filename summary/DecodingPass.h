#pragma once

// The decoding thread's work, one pass at a time: tree limits, strips, seek
// and rebuild detection, then a Play or Summary step. The thread calls pass()
// in a loop; tests and the headless summariser call it step by step.

#include "SharedControls.h"
#include "VideoReader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class FragmentDecoder;
class FrameBuffer;
class SummaryTree;

class DecodingPass {
public:
    static constexpr int SEGMENT_TIMES_SIZE = 10000;
    static constexpr int PATH_SIZE = 2048;

    // How a pass ended: at once, or asking its caller to sleep 100 ms.
    enum class Next { Continue, Sleep };

    DecodingPass(const char* inputPath, FrameBuffer* frameBuffer, SharedControls& controls);
    ~DecodingPass();
    DecodingPass(const DecodingPass&) = delete;
    DecodingPass& operator=(const DecodingPass&) = delete;

    // The start of the thread: opens the video and an empty tree.
    void start();
    Next pass();

    // Sleeps used while waiting for the weight sliders to settle; tests replace it.
    std::function<void(int milliseconds)> sleep;
    // Set to leave a wait early when the program is closing.
    std::atomic<bool> stopRequested{false};

    FrameBuffer* frameBuffer;
    SharedControls& controls;
    // How start() opens the video; the player takes the defaults.
    ReaderOptions readerOptions;
    char inputPath[PATH_SIZE] = {};
    int32_t bufferTarget = 300;
    double segmentTimes[SEGMENT_TIMES_SIZE] = {};
    int32_t segmentTimeCount = 0;

    std::unique_ptr<FragmentDecoder> decoder;
    FrameBuffer* fragment = nullptr;
    bool fragmentReady = false;
    bool endOfStream = false;
    SummaryTree* tree = nullptr;
    int32_t depthLimit = 0;
    int32_t nodeLimit = 0;
    int32_t framesHandedOn = 0;
    int32_t frontTime = 0;
    int32_t decisionTime = 0;
    bool rootIncluded = false;
    // The fragment left at the current root when the stream ended has been settled.
    bool lastSettled = false;
    double seekTarget = 0.0;

    // Depth of the tree below its current root, never negative.
    int depth() const;

private:
    void updateTreeLimits();
    void updateTreeStrips();
    bool detectSeek(double* target);
    bool takeWeightChanges();
    void dropSegmentTimesAfter(double seconds);
    void discardReadyFragment();
    void resetTree();
    void updateTimeline();
    int playbackCount() const;
    Next playStep();
    Next summaryStep();
    void handOn(FrameBuffer* source, bool always);
    void appendSegmentTime(double seconds);
    // Hands a decided fragment on (when included) and keeps only its descriptors.
    void settle(FrameBuffer* decided, bool included);
};

#pragma once

// Bounded first-in, first-out list of frames: the playback buffer between the
// decoding and visualization threads, and the fragment (with its measures).

#include "Frame.h"

#include <cstdint>

class QMutex;

constexpr int FRAME_TABLE_SIZE = 3000;
constexpr int COMPARISON_LIST_SIZE = 2000;

struct ComparisonEntry {
    int32_t valid = 0;
    double value = 0.0;
};

class FrameBuffer {
public:
    explicit FrameBuffer(int maxFrames);
    ~FrameBuffer();
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    bool addFrame(Frame* frame);
    Frame* getFrame();
    void deleteAllFrames();

    // Segment measures.
    static double getComparison(const FrameBuffer* a, const FrameBuffer* b);
    bool setComparison(FrameBuffer* other, double value);
    static double segmentDistance(FrameBuffer* a, FrameBuffer* b);
    double getVariation();
    bool hasStrongChange();
    double getMeanColorCount();
    double getMinActivity();

    int32_t number = 0;
    bool minActivityComputed = false;
    bool variationComputed = false;
    bool colorCountComputed = false;
    double meanColorCount = 0.0;
    double minActivity = 0.0;
    double variation = 0.0;
    ComparisonEntry comparisonList[COMPARISON_LIST_SIZE];
    bool junk = false;
    bool classified = false;
    bool maxDifferenceComputed = false;
    double maxPairDifference = 0.0;
    QMutex* mutex = nullptr;
    int32_t count = 0;
    int32_t length = 0;
    Frame* frameTable[FRAME_TABLE_SIZE] = {};
    int32_t maxFrames = 0;
    Frame* first = nullptr;
    Frame* last = nullptr;
};

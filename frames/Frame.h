#pragma once

// One decoded picture with the colour descriptors the summary engine compares.

extern "C" {
#include <libavutil/frame.h>
}

enum FrameMode : int { AVFRAME, HISTOGRAM_MODE };

class Frame {
public:
    Frame();
    ~Frame();
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    void setAVFrame(AVFrame* picture);
    AVFrame* getAVFrame();
    void switchToHistogramMode();

    bool computeHistogram();
    void computeColorLayout();
    double getActivity();
    double getColorCount();

    FrameMode mode = AVFRAME;
    int width = 0;
    int height = 0;
    AVFrame* avFrame = nullptr;
    double histogram[3][16] = {};
    double colorLayout[3][64] = {};
    double blockMeans[3][64] = {};
    bool colorLayoutComputed = false;
    bool histogramComputed = false;
    bool activityComputed = false;
    double activity = 0.0;
    double frameNumber = -1.0;
    double frameTime = 0.0;
    // When it plays, in seconds on the playback timeline: continuous across
    // the cuts of a summary, starting again at 0 with every restart.
    double playTime = 0.0;
    Frame* next = nullptr;
    Frame* prev = nullptr;
};

double colorLayoutDistance(Frame* a, Frame* b);
double histogramSimilarity(Frame* a, Frame* b);
double frameDifference(Frame* a, Frame* b);

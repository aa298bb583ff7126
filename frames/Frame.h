#pragma once

// One frame of a fragment as the summary engine sees it: where it stands in
// the video and what its picture looked like. The picture itself is let go
// once described.

#include "Descriptors.h"
#include "FrameSound.h"

struct Frame {
    double frameNumber = -1.0; // the reader's number for it
    double frameTime = 0.0;    // presentation time, seconds
    bool keyFrame = false;     // the decoder can start from it
    bool slate = false;        // it shows a clapperboard (see Slate.h)
    Descriptors descriptors;
    FrameSound sound;          // what its sound says (see FrameSound.h)

    double getActivity() const { return descriptors.activity; }
    double getColorCount() const { return descriptors.colorCount(); }
};

inline double frameDifference(const Frame& a, const Frame& b) {
    return frameDifference(a.descriptors, b.descriptors);
}

#pragma once

// Frames built from pictures filled by hand, so every descriptor the tests
// expect follows from known pixel values.

#include "Frame.h"
#include "Picture.h"

#include <cstdint>
#include <cstring>

namespace testframes {

// A frame in AVFRAME mode whose three planes hold one value each.
inline Frame* uniformFrame(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    auto* frame = new Frame();
    frame->width = width;
    frame->height = height;
    AVFrame* picture = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
    for (int row = 0; row < height; ++row)
        std::memset(picture->data[0] + row * picture->linesize[0], y, width);
    for (int row = 0; row < (height + 1) / 2; ++row) {
        std::memset(picture->data[1] + row * picture->linesize[1], u, (width + 1) / 2);
        std::memset(picture->data[2] + row * picture->linesize[2], v, (width + 1) / 2);
    }
    frame->setAVFrame(picture);
    return frame;
}

// Sets every luma sample to value(x, y).
template <typename F> Frame* paintLuma(Frame* frame, F value) {
    AVFrame* picture = frame->avFrame;
    for (int y = 0; y < frame->height; ++y)
        for (int x = 0; x < frame->width; ++x)
            picture->data[0][y * picture->linesize[0] + x] = static_cast<uint8_t>(value(x, y));
    return frame;
}

// A frame without picture whose descriptors the test sets: all 0 to begin with.
inline Frame* describedFrame() {
    auto* frame = new Frame();
    frame->histogramComputed = true;
    return frame;
}

} // namespace testframes

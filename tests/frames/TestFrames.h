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

inline uint8_t& luma(Frame* frame, int x, int y) {
    return frame->avFrame->data[0][y * frame->avFrame->linesize[0] + x];
}

// A frame without picture whose descriptors are given directly: block means
// all equal to the given values.
inline Frame* describedFrame(double y, double u, double v) {
    auto* frame = new Frame();
    for (int k = 0; k < 64; ++k) {
        frame->blockMeans[0][k] = y;
        frame->blockMeans[1][k] = u;
        frame->blockMeans[2][k] = v;
    }
    frame->histogramComputed = true;
    return frame;
}

} // namespace testframes

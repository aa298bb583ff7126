#pragma once

// Small JPEG pictures of a video's fragments, for a timeline to show: a
// picture scaled to a fixed width (its height in proportion, even) and
// encoded with FFmpeg's MJPEG encoder. All of the store's FFmpeg work is here.

#include "AVPointers.h"

#include <string>

class ThumbnailMaker {
public:
    static constexpr int width = 160;

    // The JPEG of a planar YUV 4:2:0 picture of the given size; empty when
    // it cannot be made.
    std::string make(const AVFrame* picture, int pictureWidth, int pictureHeight);

private:
    bool prepare(int pictureWidth, int pictureHeight);

    ffmpeg::SwsPtr scaler;
    ffmpeg::CodecContextPtr encoder;
    ffmpeg::FramePtr scaled;
    ffmpeg::PacketPtr packet;
    int sourceWidth = 0;
    int sourceHeight = 0;
};

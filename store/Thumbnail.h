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
    // The two halves of make(), for a picture scaled on one thread and
    // encoded later on another: the picture scaled as make() scales it, in
    // a frame of its own (null when it cannot be), and the JPEG of such a frame.
    ffmpeg::FramePtr scale(const AVFrame* picture, int pictureWidth, int pictureHeight);
    std::string encode(const AVFrame* scaledPicture);

private:
    bool prepare(int pictureWidth, int pictureHeight);
    bool scaleInto(AVFrame* into, const AVFrame* picture, int pictureHeight);
    // The encoder for pictures of the width and this height.
    bool prepareEncoder(int height);

    ffmpeg::SwsPtr scaler;
    ffmpeg::CodecContextPtr encoder;
    ffmpeg::FramePtr scaled;
    ffmpeg::PacketPtr packet;
    int sourceWidth = 0;
    int sourceHeight = 0;
    int encodedHeight = 0;
};

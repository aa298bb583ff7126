#pragma once

// Converts pictures between pixel formats and sizes with libswscale. The
// converter is made at the first picture and made again only when the
// formats or sizes change.

#include "AVPointers.h"

struct PictureShape {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
};

class Scaler {
public:
    // flags: the libswscale algorithm (SWS_BILINEAR, SWS_AREA...).
    explicit Scaler(int flags) : flags(flags) {}

    // Converts the planes of a picture of shape `from` into those of one of
    // shape `to`; false when no converter can be made for them.
    bool scale(const uint8_t* const from[], const int fromStrides[], PictureShape fromShape,
               uint8_t* const to[], const int toStrides[], PictureShape toShape);
    // Any decoded picture to planar YUV 4:2:0 of the given size.
    bool toYuv420(const AVFrame* picture, AVFrame* out, int width, int height);

private:
    int flags;
    ffmpeg::SwsPtr context;
};

#include "Scaler.h"

extern "C" {
#include <libswscale/swscale.h>
}

bool Scaler::scale(const uint8_t* const from[], const int fromStrides[], PictureShape fromShape,
                   uint8_t* const to[], const int toStrides[], PictureShape toShape) {
    context.reset(sws_getCachedContext(context.release(), fromShape.width, fromShape.height,
                                       fromShape.format, toShape.width, toShape.height,
                                       toShape.format, flags, nullptr, nullptr, nullptr));
    if (!context)
        return false;
    sws_scale(context.get(), from, fromStrides, 0, fromShape.height, to, toStrides);
    return true;
}

bool Scaler::toYuv420(const AVFrame* picture, AVFrame* out, int width, int height) {
    return scale(picture->data, picture->linesize,
                 {picture->width, picture->height, static_cast<AVPixelFormat>(picture->format)},
                 out->data, out->linesize, {width, height, AV_PIX_FMT_YUV420P});
}

#pragma once

// Pictures filled by hand, so every descriptor the tests expect follows from
// known pixel values.

#include "Frame.h"
#include "Picture.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace testframes {

struct PictureFreer {
    void operator()(AVFrame* picture) const { free_picture(picture); }
};
using OwnedPicture = std::unique_ptr<AVFrame, PictureFreer>;

// A planar 4:2:0 picture whose three planes hold one value each.
inline OwnedPicture uniformPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    OwnedPicture picture(alloc_picture(AV_PIX_FMT_YUV420P, width, height));
    for (int row = 0; row < height; ++row)
        std::memset(picture->data[0] + row * picture->linesize[0], y, width);
    for (int row = 0; row < (height + 1) / 2; ++row) {
        std::memset(picture->data[1] + row * picture->linesize[1], u, (width + 1) / 2);
        std::memset(picture->data[2] + row * picture->linesize[2], v, (width + 1) / 2);
    }
    return picture;
}

// Sets every luma sample to value(x, y).
template <typename F> OwnedPicture paintLuma(OwnedPicture picture, F value) {
    for (int y = 0; y < picture->height; ++y)
        for (int x = 0; x < picture->width; ++x)
            picture->data[0][y * picture->linesize[0] + x] = static_cast<uint8_t>(value(x, y));
    return picture;
}

inline Descriptors describe(const OwnedPicture& picture) {
    return Descriptors::of(picture.get(), picture->width, picture->height);
}

// A frame described from a uniform picture.
inline Frame uniformFrame(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    Frame frame;
    frame.descriptors = describe(uniformPicture(width, height, y, u, v));
    return frame;
}

} // namespace testframes

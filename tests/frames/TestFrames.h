#pragma once

// Pictures filled by hand, so every descriptor the tests expect follows from
// known pixel values.

#include "Frame.h"
#include "TestPictures.h"

namespace testframes {

inline OwnedPicture uniformPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
    return solidPicture(width, height, y, u, v);
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

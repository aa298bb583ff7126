#pragma once

// Pictures that must outlive the decoder's own record, owned by the caller
// and released with free_picture: either a picture record with one pixel
// buffer of our own, or a second reference to a decoder's reference-counted
// picture, sharing its pixels.

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <memory>

// Allocates a picture record and its single pixel buffer for the given
// format and size. Never returns null: when memory runs out it throws an
// EngineFailure with status 1.
AVFrame* alloc_picture(int pixelFormat, int width, int height);

// A new record referring to the same reference-counted pixels as `source`
// (which must have them: buf[0] set), or null when memory runs out. The
// pixels are shared, so neither may be written through.
AVFrame* ref_picture(const AVFrame* source);

// A picture of the caller's own with the content of a decoded planar YUV
// 4:2:0 `picture` of the given size, which the decoder may reuse. A
// reference-counted picture is shared rather than copied when its planes are
// addressed as a packed copy's would be by anyone who takes the chroma line
// size as half the luma line size: an even width and chroma lines half the
// luma lines. Anything else (odd widths, pictures a reader converted into a
// buffer of its own) is copied into a packed picture. Never null, as
// alloc_picture.
AVFrame* own_picture(const AVFrame* picture, int width, int height);

// Releases a picture made by alloc_picture, ref_picture or own_picture: the pixel buffer
// (or our reference to it), then the record. Null is accepted.
void free_picture(AVFrame* picture);

// Bytes of a planar YUV 4:2:0 picture of this size, as the buffers count it.
inline int64_t pictureBytes(int width, int height) {
    return int64_t{width} * height * 3 / 2;
}

// A decoded picture in planar YUV 4:2:0 that anyone may keep: copies share
// the pixels, which nobody writes once the picture is made, and the last
// copy to go frees them. This is how a picture travels from the reader to
// the screen without being copied by hand.
class Picture {
public:
    Picture() = default;
    // Takes a picture made by alloc_picture, ref_picture or own_picture.
    Picture(AVFrame* picture, int width, int height)
        : frame(picture, free_picture), pictureWidth(width), pictureHeight(height) {}
    // The decoder's picture, which it may reuse, as one of our own (see own_picture).
    static Picture copyOf(const AVFrame* decoded, int width, int height) {
        return Picture(own_picture(decoded, width, height), width, height);
    }

    const AVFrame* avFrame() const { return frame.get(); }
    int width() const { return pictureWidth; }
    int height() const { return pictureHeight; }
    int64_t bytes() const { return frame ? pictureBytes(pictureWidth, pictureHeight) : 0; }
    explicit operator bool() const { return frame != nullptr; }

private:
    std::shared_ptr<const AVFrame> frame;
    int pictureWidth = 0;
    int pictureHeight = 0;
};

// A picture and where it stands: in the video (the reader's frame number
// and the presentation time) and, once the player places it, on the
// playback timeline (continuous across the cuts of a summary, from 0 at
// every restart).
struct PictureFrame {
    Picture picture;
    double frameNumber = -1.0;
    double frameTime = 0.0;
    double playTime = 0.0;
};

#pragma once

// Pictures that must outlive the decoder's own record, owned by the caller
// and released with free_picture: either a picture record with one pixel
// buffer of our own, or a second reference to a decoder's reference-counted
// picture, sharing its pixels.

#include <cstdint>
#include <new>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

// Memory for a picture could not be had. what() is the line the programs
// print before they end with status 1.
class PictureAllocationError : public std::bad_alloc {
public:
    explicit PictureAllocationError(const char* message) : message(message) {}
    const char* what() const noexcept override { return message; }

private:
    const char* message;
};

// Bytes of a packed planar YUV 4:2:0 picture of this size.
inline int64_t yuv420PictureBytes(int width, int height) {
    return int64_t{width} * height * 3 / 2;
}

// Allocates a picture record and its single pixel buffer for the given
// format and size. Never returns null: throws PictureAllocationError when
// memory runs out.
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

#pragma once

// Pictures that must outlive the decoder's own record, owned by the caller
// and released with free_picture: either a picture record with one pixel
// buffer of our own, or a second reference to a decoder's reference-counted
// picture, sharing its pixels.

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

// Allocates a picture record and its single pixel buffer for the given
// format and size. Never returns null: when memory runs out the process ends
// with a non-zero status.
AVFrame* alloc_picture(int pixelFormat, int width, int height);

// A new record referring to the same reference-counted pixels as `source`
// (which must have them: buf[0] set), or null when memory runs out. The
// pixels are shared, so neither may be written through.
AVFrame* ref_picture(const AVFrame* source);

// Releases a picture made by alloc_picture or ref_picture: the pixel buffer
// (or our reference to it), then the record. Null is accepted.
void free_picture(AVFrame* picture);

// Copies a planar YUV 4:2:0 picture row by row, each plane up to the shorter
// of the two line sizes. Always true.
bool copy_picture(AVFrame* destination, int rows, const AVFrame* source);

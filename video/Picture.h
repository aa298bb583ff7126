#pragma once

// Pictures that must outlive the decoder's own record: a picture record with
// one pixel buffer, owned by the caller and released with free_picture.

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

// Allocates a picture record and its single pixel buffer for the given
// format and size. Never returns null: when memory runs out the process ends
// with a non-zero status.
AVFrame* alloc_picture(int pixelFormat, int width, int height);

// Releases a picture made by alloc_picture: the pixel buffer, then the record.
// Null is accepted.
void free_picture(AVFrame* picture);

// Copies a planar YUV 4:2:0 picture row by row, each plane up to the shorter
// of the two line sizes. Always true.
bool copy_picture(AVFrame* destination, int rows, const AVFrame* source);

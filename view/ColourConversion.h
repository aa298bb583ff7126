#pragma once

// Planar YUV 4:2:0 to 8-bit blue-green-red through lookup tables, so that each
// pixel costs look-ups and additions only.

#include <array>

extern "C" {
#include <libavutil/frame.h>
}

namespace cv {
class Mat;
}

using ConversionTable = std::array<double, 256>;

// BT.601 limited-range coefficients rounded to three decimals; entry i holds
// factor * (i - offset), exactly the three-decimal product.
extern const ConversionTable yTable;
extern const ConversionTable ubTable;
extern const ConversionTable vgTable;
extern const ConversionTable ugTable;
extern const ConversionTable vrTable;

// Converts rows x columns pixels of source into the first three bytes of each
// destination pixel (blue, green, red); further bytes of a pixel keep their
// value. Each chroma sample serves a 2 x 2 block. The destination must be an
// 8-bit image at least that large. Returns 0.
int yuv420p_to_bgr(const AVFrame* source, cv::Mat& destination, int columns, int rows);

// The picture of yuv420p_to_bgr followed by a nearest-neighbour resize
// (cv::INTER_NEAREST) to the destination's size, pixel for pixel, but
// converting only the pixels the resize picks: the cost follows the
// destination's size, not the video's. The fourth byte of each destination
// pixel is set to 255.
void yuv420p_to_bgr_scaled(const AVFrame* source, int columns, int rows, cv::Mat& destination);

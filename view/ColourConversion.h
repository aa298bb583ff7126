#pragma once

// Planar YUV 4:2:0 to 8-bit blue-green-red through lookup tables, so that each
// pixel costs look-ups and additions only.

#include <array>

extern "C" {
#include <libavutil/frame.h>
}

#include <opencv2/core/types.hpp>

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

// Converts the picture (columns x rows, planar 4:2:0) into the first three
// bytes (blue, green, red) of each destination pixel, scaled to the
// destination's size as a nearest-neighbour resize (cv::INTER_NEAREST) of
// the whole converted picture would, pixel for pixel, but converting only
// the pixels that resize picks: the cost follows the destination's size, not
// the video's. Each chroma sample serves a 2 x 2 block. The fourth byte of
// each destination pixel is set to 255.
void yuv420p_to_bgr_scaled(const AVFrame* source, int columns, int rows, cv::Mat& destination);

// Where a picture of the given size and sample aspect ratio (pixel width
// over pixel height; 0 or less counts as square) shows in an area of the
// given size: as large as fits with its display proportions, centred.
cv::Rect fittedPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                       double sampleAspect);

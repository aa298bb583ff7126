#include "ColourConversion.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Built from integer thousandths so that each entry is the double nearest the
// decimal product, not the product of two rounded doubles.
constexpr ConversionTable makeTable(int factorThousandths, int offset) {
    ConversionTable table{};
    for (int i = 0; i < 256; ++i) {
        table[i] = factorThousandths * (i - offset) / 1000.0;
    }
    return table;
}

uint8_t toSample(double value) {
    const int truncated = static_cast<int>(value);
    if (truncated > 255) {
        return 255;
    }
    if (truncated < 0) {
        return 0;
    }
    return static_cast<uint8_t>(truncated);
}

} // namespace

constexpr ConversionTable yTable = makeTable(1164, 16);
constexpr ConversionTable ubTable = makeTable(2018, 128);
constexpr ConversionTable vgTable = makeTable(813, 128);
constexpr ConversionTable ugTable = makeTable(391, 128);
constexpr ConversionTable vrTable = makeTable(1596, 128);

namespace {

// Column j of row i of the source, into the first three bytes of pixel.
inline void convertPixel(const uint8_t* yRow, const uint8_t* uRow, const uint8_t* vRow, int j,
                         uint8_t* pixel) {
    const double y = yTable[yRow[j]];
    const uint8_t u = uRow[j >> 1];
    const uint8_t v = vRow[j >> 1];
    pixel[0] = toSample(y + ubTable[u]);
    pixel[1] = toSample((y - vgTable[v]) - ugTable[u]);
    pixel[2] = toSample(y + vrTable[v]);
}

// The source index cv::resize's nearest-neighbour pick takes for each
// destination index, computed as it computes it.
std::vector<int> nearestPicks(int destinationSize, int sourceSize) {
    const double inverseScale = 1.0 / (static_cast<double>(destinationSize) / sourceSize);
    std::vector<int> picks(static_cast<size_t>(destinationSize));
    for (int d = 0; d < destinationSize; ++d)
        picks[static_cast<size_t>(d)] = std::min(cvFloor(d * inverseScale), sourceSize - 1);
    return picks;
}

} // namespace

void yuv420p_to_bgr_scaled(const AVFrame* source, int columns, int rows, cv::Mat& destination) {
    if (columns <= 0 || rows <= 0 || destination.empty())
        return;
    const std::vector<int> xs = nearestPicks(destination.cols, columns);
    const std::vector<int> ys = nearestPicks(destination.rows, rows);
    const int channels = destination.channels();
    for (int i = 0; i < destination.rows; ++i) {
        const int row = ys[static_cast<size_t>(i)];
        const uint8_t* yRow = source->data[0] + row * source->linesize[0];
        const uint8_t* uRow = source->data[1] + (row >> 1) * source->linesize[1];
        const uint8_t* vRow = source->data[2] + (row >> 1) * source->linesize[2];
        uint8_t* out = destination.ptr<uint8_t>(i);
        for (int j = 0; j < destination.cols; ++j) {
            uint8_t* pixel = out + j * channels;
            convertPixel(yRow, uRow, vRow, xs[static_cast<size_t>(j)], pixel);
            if (channels > 3)
                pixel[3] = 255;
        }
    }
}

cv::Rect fittedPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight,
                       double sampleAspect) {
    if (areaWidth <= 0 || areaHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return {0, 0, std::max(areaWidth, 0), std::max(areaHeight, 0)};
    const double aspect = (sampleAspect > 0.0 ? sampleAspect : 1.0) * pictureWidth / pictureHeight;
    int width = areaWidth;
    int height = static_cast<int>(std::lround(areaWidth / aspect));
    if (height > areaHeight) {
        height = areaHeight;
        width = static_cast<int>(std::lround(areaHeight * aspect));
    }
    width = std::clamp(width, 1, areaWidth);
    height = std::clamp(height, 1, areaHeight);
    return {(areaWidth - width) / 2, (areaHeight - height) / 2, width, height};
}

#include "ColourConversion.h"

#include <opencv2/core.hpp>

#include <cstdint>

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

int yuv420p_to_bgr(const AVFrame* source, cv::Mat& destination, int columns, int rows) {
    const int channels = destination.channels();
    for (int i = 0; i < rows; ++i) {
        uint8_t* out = destination.ptr<uint8_t>(i);
        const uint8_t* yRow = source->data[0] + i * source->linesize[0];
        const uint8_t* uRow = source->data[1] + (i >> 1) * source->linesize[1];
        const uint8_t* vRow = source->data[2] + (i >> 1) * source->linesize[2];
        for (int j = 0; j < columns; ++j) {
            const double y = yTable[yRow[j]];
            const uint8_t u = uRow[j >> 1];
            const uint8_t v = vRow[j >> 1];
            uint8_t* pixel = out + j * channels;
            pixel[0] = toSample(y + ubTable[u]);
            pixel[1] = toSample((y - vgTable[v]) - ugTable[u]);
            pixel[2] = toSample(y + vrTable[v]);
        }
    }
    return 0;
}

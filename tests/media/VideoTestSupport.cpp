#include "VideoTestSupport.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {
// The library's own diagnostics would bury the test output.
const bool quietLibrary = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
}();
} // namespace

uint64_t pictureChecksum(const AVFrame* picture, int width, int height) {
    uint64_t hash = 1469598103934665603ull;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? width : (width + 1) / 2;
        const int h = plane == 0 ? height : (height + 1) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                hash = (hash ^ picture->data[plane][y * picture->linesize[plane] + x]) *
                       1099511628211ull;
    }
    return hash;
}

std::vector<DecodedPicture> decodeAll(VideoReader& reader) {
    int width = 0, height = 0;
    reader.getVideoSize(&width, &height);
    std::vector<DecodedPicture> pictures;
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = 0, count = 0;
    while (reader.getNextFrame(&picture, &samples, &value, &count)) {
        EXPECT_EQ(picture->format, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(picture->width, width);
        EXPECT_EQ(picture->height, height);
        pictures.push_back(
            {picture->pts, picture->key_frame != 0, pictureChecksum(picture, width, height)});
    }
    return pictures;
}

#include "Picture.h"
#include "ColourConversion.h"
#include "DisplayWindow.h"

#include <QMutex>
#include <QMutexLocker>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <tuple>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

using namespace std::chrono_literals;

namespace {

// A planar 4:2:0 picture whose line sizes run past its width, so that a
// conversion taking the width for the line size goes wrong.
struct Yuv {
    Yuv(int width, int height, int y, int u, int v)
        : width(width),
          height(height), stride{width + 7, (width + 1) / 2 + 5, (width + 1) / 2 + 5} {
        const int rows[] = {height, (height + 1) / 2, (height + 1) / 2};
        const int level[] = {y, u, v};
        for (int p = 0; p < 3; ++p) {
            planes[p].assign(static_cast<size_t>(stride[p]) * rows[p], uint8_t(level[p]));
            frame.data[p] = planes[p].data();
            frame.linesize[p] = stride[p];
        }
    }
    uint8_t& at(int plane, int row, int column) {
        return planes[plane][static_cast<size_t>(row) * stride[plane] + column];
    }

    const int width, height;
    int stride[3];
    std::vector<uint8_t> planes[3];
    AVFrame frame{};
};

// The player converts with yuv420p_to_bgr_scaled; at the picture's own size
// it picks every pixel once.
cv::Mat converted(const Yuv& picture, int width, int height) {
    cv::Mat bgrx(height, width, CV_8UC4, cv::Scalar::all(77));
    yuv420p_to_bgr_scaled(&picture.frame, picture.width, picture.height, bgrx);
    return bgrx;
}

TEST(ColourConversion, OnePixelOfEachKind) {
    const std::tuple<int, int, int, cv::Vec4b> cases[] = {
        {16, 128, 128, {0, 0, 0, 255}},        // black level
        {235, 128, 128, {254, 254, 254, 255}}, // white level, truncated
        {255, 128, 128, {255, 255, 255, 255}}, // clamped above
        {0, 128, 128, {0, 0, 0, 255}},         // and below
        {128, 255, 128, {255, 80, 130, 255}},  // full blue chroma
        {128, 128, 255, {130, 27, 255, 255}},  // full red chroma pulls green down
        {0, 0, 0, {0, 135, 0, 255}},           // negative blue and red clamp to 0
    };
    for (auto [y, u, v, bgrx] : cases)
        EXPECT_EQ(converted(Yuv(2, 2, y, u, v), 2, 2).at<cv::Vec4b>(1, 1), bgrx) << y << u << v;
}

TEST(ColourConversion, EachSampleServesItsOwnPixels) {
    // 5 x 3: the last column and row start a block of their own.
    Yuv picture(5, 3, 128, 128, 128);
    picture.at(0, 0, 0) = 235;
    picture.at(0, 2, 4) = 16;
    picture.at(1, 0, 1) = 255; // blue for rows 0-1, columns 2-3
    picture.at(2, 1, 0) = 255; // red for row 2, columns 0-1
    picture.at(1, 1, 2) = 0;   // no blue for row 2, column 4
    const cv::Mat bgrx = converted(picture, 5, 3);
    const int blue[3][5] = {
        {254, 130, 255, 255, 130}, {130, 130, 255, 255, 130}, {130, 130, 130, 130, 0}};
    const int red[3][5] = {
        {254, 130, 130, 130, 130}, {130, 130, 130, 130, 130}, {255, 255, 130, 130, 0}};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 5; ++column) {
            EXPECT_EQ(bgrx.at<cv::Vec4b>(row, column)[0], blue[row][column]) << row << column;
            EXPECT_EQ(bgrx.at<cv::Vec4b>(row, column)[2], red[row][column]) << row << column;
        }
    }
}

TEST(ColourConversion, ConvertingOnlyTheShownPixelsMatchesConvertingAllThenResizing) {
    // Odd sizes both ways, shrinking and enlarging, and the window's own size.
    const std::tuple<int, int, int, int> sizes[] = {
        {321, 241, 445, 335}, {1281, 719, 445, 335}, {17, 9, 445, 335}, {640, 360, 101, 57}};
    for (auto [sourceWidth, sourceHeight, width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << sourceWidth << "x" << sourceHeight);
        Yuv picture(sourceWidth, sourceHeight, 0, 0, 0);
        std::srand(7);
        for (std::vector<uint8_t>& plane : picture.planes)
            for (uint8_t& sample : plane)
                sample = static_cast<uint8_t>(std::rand());
        cv::Mat expected;
        cv::resize(converted(picture, sourceWidth, sourceHeight), expected, {width, height}, 0, 0,
                   cv::INTER_NEAREST);
        EXPECT_EQ(cv::norm(expected, converted(picture, width, height), cv::NORM_INF), 0.0);
    }
}

TEST(FittedPicture, KeepsTheDisplayProportionsCentredInTheArea) {
    const std::tuple<int, int, double, cv::Rect> cases[] = {
        {1280, 720, 1.0, {0, 42, 445, 250}},      // 16:9: bars above and below
        {640, 480, 1.0, {0, 0, 445, 334}},        // 4:3 fills the 445 x 335 area
        {720, 576, 16.0 / 15, {0, 0, 445, 334}},  // PAL 4:3, pixels wider than high
        {720, 480, 32.0 / 27, {0, 42, 445, 250}}, // NTSC 16:9 on narrow storage
        {480, 640, 1.0, {97, 0, 251, 335}},       // portrait: bars at the sides
        {720, 576, 0.0, {13, 0, 419, 335}},       // unknown pixel shape counts as square
    };
    for (auto [width, height, sampleAspect, expected] : cases)
        EXPECT_EQ(fittedPicture(445, 335, width, height, sampleAspect), expected)
            << width << "x" << height << " " << sampleAspect;
}

} // namespace

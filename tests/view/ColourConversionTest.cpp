#include "ColourConversion.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

// A planar 4:2:0 picture whose line sizes run past its width, so that a
// conversion taking the width for the line size goes wrong.
struct Yuv {
    Yuv(int width, int height, uint8_t y, uint8_t u, uint8_t v)
        : stride{width + 7, (width + 1) / 2 + 5, (width + 1) / 2 + 5} {
        const int rows[] = {height, (height + 1) / 2, (height + 1) / 2};
        const uint8_t level[] = {y, u, v};
        for (int p = 0; p < 3; ++p) {
            planes[p].assign(static_cast<size_t>(stride[p]) * rows[p], level[p]);
            frame.data[p] = planes[p].data();
            frame.linesize[p] = stride[p];
        }
    }
    uint8_t& at(int plane, int row, int column) {
        return planes[plane][static_cast<size_t>(row) * stride[plane] + column];
    }

    int stride[3];
    std::vector<uint8_t> planes[3];
    AVFrame frame{};
};

TEST(ColourConversion, OnePixelOfEachKind) {
    struct Case {
        uint8_t y, u, v;
        cv::Vec3b bgr;
    };
    const Case cases[] = {
        {16, 128, 128, {0, 0, 0}},        // black level
        {235, 128, 128, {254, 254, 254}}, // white level, truncated
        {255, 128, 128, {255, 255, 255}}, // clamped above
        {0, 128, 128, {0, 0, 0}},         // and below
        {128, 255, 128, {255, 80, 130}},  // full blue chroma
        {128, 128, 255, {130, 27, 255}},  // full red chroma pulls green down
        {0, 0, 0, {0, 135, 0}},           // negative blue and red clamp to 0
    };
    for (const Case& c : cases) {
        Yuv picture(2, 2, c.y, c.u, c.v);
        cv::Mat bgr(2, 2, CV_8UC3, cv::Scalar::all(77));
        yuv420p_to_bgr(&picture.frame, bgr, 2, 2);
        EXPECT_EQ(bgr.at<cv::Vec3b>(1, 1), c.bgr) << int(c.y) << " " << int(c.u) << " " << int(c.v);
    }
}

TEST(ColourConversion, EachSampleServesItsPixelsOnlyAndOnlyTheirFirstThreeBytes) {
    // 5 x 3: the last column and row start a block of their own.
    Yuv picture(5, 3, 128, 128, 128);
    picture.at(0, 0, 0) = 235;
    picture.at(0, 2, 4) = 16;
    picture.at(1, 0, 1) = 255; // blue for rows 0-1, columns 2-3
    picture.at(2, 1, 0) = 255; // red for row 2, columns 0-1
    picture.at(1, 1, 2) = 0;   // no blue for row 2, column 4
    // A larger destination with four bytes a pixel.
    cv::Mat bgrx(4, 6, CV_8UC4, cv::Scalar(9, 9, 9, 200));
    yuv420p_to_bgr(&picture.frame, bgrx, 5, 3);
    const int blue[3][5] = {
        {254, 130, 255, 255, 130}, {130, 130, 255, 255, 130}, {130, 130, 130, 130, 0}};
    const int red[3][5] = {
        {254, 130, 130, 130, 130}, {130, 130, 130, 130, 130}, {255, 255, 130, 130, 0}};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 6; ++column) {
            const cv::Vec4b pixel = bgrx.at<cv::Vec4b>(row, column);
            const bool inside = row < 3 && column < 5;
            EXPECT_EQ(pixel[0], inside ? blue[row][column] : 9) << row << "," << column;
            EXPECT_EQ(pixel[2], inside ? red[row][column] : 9) << row << "," << column;
            EXPECT_EQ(pixel[3], 200) << row << "," << column;
        }
    }
}

TEST(ColourConversion, ConvertingOnlyTheShownPixelsMatchesConvertingAllThenResizing) {
    // Odd sizes both ways, shrinking and enlarging, and the window's own size.
    struct Sizes {
        int sourceWidth, sourceHeight, windowWidth, windowHeight;
    };
    for (const Sizes& s : {Sizes{321, 241, 445, 335}, Sizes{1281, 719, 445, 335},
                           Sizes{17, 9, 445, 335}, Sizes{640, 360, 101, 57}}) {
        SCOPED_TRACE(testing::Message() << s.sourceWidth << "x" << s.sourceHeight << " to "
                                        << s.windowWidth << "x" << s.windowHeight);
        Yuv picture(s.sourceWidth, s.sourceHeight, 0, 0, 0);
        std::srand(7);
        for (int p = 0; p < 3; ++p)
            for (uint8_t& sample : picture.planes[p])
                sample = static_cast<uint8_t>(std::rand());
        cv::Mat whole(s.sourceHeight, s.sourceWidth, CV_8UC4, cv::Scalar(0, 0, 0, 255));
        yuv420p_to_bgr(&picture.frame, whole, s.sourceWidth, s.sourceHeight);
        cv::Mat expected(s.windowHeight, s.windowWidth, CV_8UC4);
        cv::resize(whole, expected, expected.size(), 0, 0, cv::INTER_NEAREST);
        cv::Mat shown(s.windowHeight, s.windowWidth, CV_8UC4, cv::Scalar::all(3));
        yuv420p_to_bgr_scaled(&picture.frame, s.sourceWidth, s.sourceHeight, shown);
        EXPECT_EQ(cv::norm(expected, shown, cv::NORM_INF), 0.0);
    }
}

} // namespace

#include "ColourConversion.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// A planar 4:2:0 picture over vectors the test owns, with padded line sizes
// so that strides differ from widths.
class YuvPicture {
public:
    YuvPicture(int width, int height)
        : width(width), height(height), chromaWidth((width + 1) / 2),
          chromaHeight((height + 1) / 2), luma(lumaStride() * height, 0),
          cb(chromaStride() * chromaHeight, 0), cr(chromaStride() * chromaHeight, 0),
          frame(av_frame_alloc()) {
        frame->data[0] = luma.data();
        frame->data[1] = cb.data();
        frame->data[2] = cr.data();
        frame->linesize[0] = lumaStride();
        frame->linesize[1] = chromaStride();
        frame->linesize[2] = chromaStride();
    }

    void fill(uint8_t y, uint8_t u, uint8_t v) {
        std::fill(luma.begin(), luma.end(), y);
        std::fill(cb.begin(), cb.end(), u);
        std::fill(cr.begin(), cr.end(), v);
    }
    uint8_t& Y(int row, int column) { return luma[row * lumaStride() + column]; }
    uint8_t& U(int row, int column) { return cb[row * chromaStride() + column]; }
    uint8_t& V(int row, int column) { return cr[row * chromaStride() + column]; }
    const AVFrame* get() const { return frame.get(); }

    const int width;
    const int height;

private:
    int lumaStride() const { return width + 7; }
    int chromaStride() const { return (width + 1) / 2 + 5; }

    int chromaWidth;
    int chromaHeight;
    std::vector<uint8_t> luma;
    std::vector<uint8_t> cb;
    std::vector<uint8_t> cr;
    std::unique_ptr<AVFrame, FrameDeleter> frame;
};

cv::Vec3b convertOne(uint8_t y, uint8_t u, uint8_t v) {
    YuvPicture picture(2, 2);
    picture.fill(y, u, v);
    cv::Mat bgr(2, 2, CV_8UC3, cv::Scalar::all(77));
    EXPECT_EQ(0, yuv420p_to_bgr(picture.get(), bgr, 2, 2));
    return bgr.at<cv::Vec3b>(1, 1);
}

} // namespace

TEST(ConversionTables, HoldTheThreeDecimalProducts) {
    EXPECT_EQ(-18.624, yTable[0]);
    EXPECT_EQ(130.368, yTable[128]);
    EXPECT_EQ(278.196, yTable[255]);
    EXPECT_EQ(0.0, yTable[16]);
    EXPECT_EQ(-258.304, ubTable[0]);
    EXPECT_EQ(0.0, ubTable[128]);
    EXPECT_EQ(256.286, ubTable[255]);
    EXPECT_EQ(-104.064, vgTable[0]);
    EXPECT_EQ(103.251, vgTable[255]);
    EXPECT_EQ(-50.048, ugTable[0]);
    EXPECT_EQ(49.657, ugTable[255]);
    EXPECT_EQ(-204.288, vrTable[0]);
    EXPECT_EQ(202.692, vrTable[255]);
    // Here the floating-point product 1.164 * -15 misses the decimal value.
    EXPECT_EQ(-17.46, yTable[1]);
    EXPECT_NE(1.164 * -15, yTable[1]);
}

// Every entry is the double that the decimal text of its product parses to.
TEST(ConversionTables, EveryEntryIsTheNearestDoubleToItsDecimalProduct) {
    struct Expected {
        const ConversionTable& table;
        int factorThousandths;
        int offset;
    };
    const Expected tables[] = {{yTable, 1164, 16},
                               {ubTable, 2018, 128},
                               {vgTable, 813, 128},
                               {ugTable, 391, 128},
                               {vrTable, 1596, 128}};
    for (const Expected& expected : tables) {
        for (int i = 0; i < 256; ++i) {
            const long thousandths =
                static_cast<long>(expected.factorThousandths) * (i - expected.offset);
            char text[32];
            std::snprintf(text, sizeof text, "%s%ld.%03ld", thousandths < 0 ? "-" : "",
                          std::labs(thousandths) / 1000, std::labs(thousandths) % 1000);
            EXPECT_EQ(std::strtod(text, nullptr), expected.table[i]) << text;
        }
    }
}

TEST(ColourConversion, BlackLevelGivesZero) {
    EXPECT_EQ(cv::Vec3b(0, 0, 0), convertOne(16, 128, 128));
}

TEST(ColourConversion, WhiteLevelTruncatesTo254) {
    EXPECT_EQ(cv::Vec3b(254, 254, 254), convertOne(235, 128, 128));
}

TEST(ColourConversion, ClampsBothEnds) {
    EXPECT_EQ(cv::Vec3b(255, 255, 255), convertOne(255, 128, 128));
    EXPECT_EQ(cv::Vec3b(0, 0, 0), convertOne(0, 128, 128));
}

TEST(ColourConversion, FullBlueChroma) {
    // blue 386.654 clamped, green 80.711 truncated, red 130.368 truncated.
    EXPECT_EQ(cv::Vec3b(255, 80, 130), convertOne(128, 255, 128));
}

TEST(ColourConversion, RedChromaPullsGreenDown) {
    // green = 130.368 - 103.251 - 0 = 27.117; red = 130.368 + 202.692 clamped.
    EXPECT_EQ(cv::Vec3b(130, 27, 255), convertOne(128, 128, 255));
}

TEST(ColourConversion, NegativeIntermediateClampsToZero) {
    // blue = -18.624 - 258.304 is far below zero; green = -18.624 + 104.064 + 50.048.
    EXPECT_EQ(cv::Vec3b(0, 135, 0), convertOne(0, 0, 0));
}

TEST(ColourConversion, EachChromaSampleServesATwoByTwoBlock) {
    YuvPicture picture(4, 4);
    picture.fill(128, 128, 128);
    picture.U(0, 1) = 255; // block of rows 0-1, columns 2-3
    picture.V(1, 0) = 255; // block of rows 2-3, columns 0-1
    cv::Mat bgr(4, 4, CV_8UC3, cv::Scalar::all(0));
    yuv420p_to_bgr(picture.get(), bgr, 4, 4);
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            const cv::Vec3b pixel = bgr.at<cv::Vec3b>(row, column);
            const bool blueBlock = row < 2 && column >= 2;
            const bool redBlock = row >= 2 && column < 2;
            EXPECT_EQ(blueBlock ? 255 : 130, pixel[0]) << row << "," << column;
            EXPECT_EQ(redBlock ? 255 : 130, pixel[2]) << row << "," << column;
        }
    }
}

TEST(ColourConversion, OddSizesUseTheChromaOfTheBlockTheyStart) {
    YuvPicture picture(5, 3);
    picture.fill(128, 128, 128);
    picture.U(1, 2) = 255; // serves row 2 and column 4 alone
    picture.U(0, 2) = 0;   // serves rows 0-1 of column 4
    cv::Mat bgr(3, 5, CV_8UC3, cv::Scalar::all(0));
    yuv420p_to_bgr(picture.get(), bgr, 5, 3);
    EXPECT_EQ(255, bgr.at<cv::Vec3b>(2, 4)[0]);
    EXPECT_EQ(0, bgr.at<cv::Vec3b>(1, 4)[0]);
    EXPECT_EQ(0, bgr.at<cv::Vec3b>(0, 4)[0]);
    EXPECT_EQ(130, bgr.at<cv::Vec3b>(2, 3)[0]);
}

TEST(ColourConversion, LumaFollowsEveryPixel) {
    YuvPicture picture(3, 3);
    picture.fill(16, 128, 128);
    picture.Y(2, 1) = 235;
    cv::Mat bgr(3, 3, CV_8UC3, cv::Scalar::all(9));
    yuv420p_to_bgr(picture.get(), bgr, 3, 3);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const uint8_t expected = (row == 2 && column == 1) ? 254 : 0;
            EXPECT_EQ(cv::Vec3b::all(expected), bgr.at<cv::Vec3b>(row, column));
        }
    }
}

TEST(ColourConversion, FourChannelDestinationKeepsItsFourthByte) {
    YuvPicture picture(3, 2);
    picture.fill(235, 128, 128);
    cv::Mat bgrx(2, 3, CV_8UC4, cv::Scalar(1, 2, 3, 200));
    yuv420p_to_bgr(picture.get(), bgrx, 3, 2);
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            EXPECT_EQ(cv::Vec4b(254, 254, 254, 200), bgrx.at<cv::Vec4b>(row, column));
        }
    }
}

TEST(ColourConversion, WritesOnlyTheRequestedRegionOfALargerDestination) {
    YuvPicture picture(2, 2);
    picture.fill(235, 128, 128);
    cv::Mat bgr(4, 4, CV_8UC3, cv::Scalar::all(9));
    yuv420p_to_bgr(picture.get(), bgr, 2, 2);
    EXPECT_EQ(cv::Vec3b::all(254), bgr.at<cv::Vec3b>(1, 1));
    EXPECT_EQ(cv::Vec3b::all(9), bgr.at<cv::Vec3b>(1, 2));
    EXPECT_EQ(cv::Vec3b::all(9), bgr.at<cv::Vec3b>(2, 0));
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
        YuvPicture picture(s.sourceWidth, s.sourceHeight);
        std::srand(7);
        for (int r = 0; r < s.sourceHeight; ++r)
            for (int c = 0; c < s.sourceWidth; ++c) {
                picture.Y(r, c) = static_cast<uint8_t>(std::rand());
                picture.U(r / 2, c / 2) = static_cast<uint8_t>(std::rand());
                picture.V(r / 2, c / 2) = static_cast<uint8_t>(std::rand());
            }
        cv::Mat whole(s.sourceHeight, s.sourceWidth, CV_8UC4, cv::Scalar(0, 0, 0, 255));
        yuv420p_to_bgr(picture.get(), whole, s.sourceWidth, s.sourceHeight);
        cv::Mat expected(s.windowHeight, s.windowWidth, CV_8UC4);
        cv::resize(whole, expected, expected.size(), 0, 0, cv::INTER_NEAREST);
        cv::Mat shown(s.windowHeight, s.windowWidth, CV_8UC4, cv::Scalar::all(3));
        yuv420p_to_bgr_scaled(picture.get(), s.sourceWidth, s.sourceHeight, shown);
        EXPECT_EQ(cv::norm(expected, shown, cv::NORM_INF), 0.0);
    }
}

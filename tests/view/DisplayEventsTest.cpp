#include "DisplayEvents.h"
#include "QtTestApplication.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

constexpr QRgb kBlack = 0x000000;
constexpr QRgb kBlue = 0x0000ff;
constexpr QRgb kGrey = 0xb4b4b4;
constexpr QRgb kRed = 0xff0000;
constexpr QRgb kYellow = 0xffff00;
constexpr QRgb kGreen = 0x00ff00;
constexpr QRgb kOrange = 0xff6400;

// Columns of the image that hold `colour` in the middle row.
std::vector<int> columnsOf(const QImage& image, QRgb colour) {
    std::vector<int> xs;
    for (int x = 0; x < image.width(); ++x) {
        if (pixelAt(image, x, image.height() / 2) == colour) {
            xs.push_back(x);
        }
    }
    return xs;
}

bool anywhere(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (pixelAt(image, x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

class DisplayEventsTest : public ::testing::Test {
protected:
    DisplayEvents strip{"Tree Depth", 215, 15};
};

TEST_F(DisplayEventsTest, HalfwayOnA215PixelStrip) {
    strip.setData(nullptr, 0, 0.0, 100.0, 50.0, 0.0, 0.0);
    const QImage painted = paintedImage(strip);
    for (int y = 1; y <= 13; ++y) {
        EXPECT_EQ(pixelAt(painted, 1, y), kBlue) << y;
        EXPECT_EQ(pixelAt(painted, 106, y), kBlue) << y;
        EXPECT_EQ(pixelAt(painted, 109, y), kGrey) << y;
        EXPECT_EQ(pixelAt(painted, 213, y), kGrey) << y;
    }
    for (int y = 0; y < 15; ++y) {
        EXPECT_EQ(pixelAt(painted, 107, y), kRed) << y;
        EXPECT_EQ(pixelAt(painted, 108, y), kRed) << y;
        EXPECT_EQ(pixelAt(painted, 0, y), kBlack) << y;
        EXPECT_EQ(pixelAt(painted, 214, y), kBlack) << y;
    }
    for (int x : {1, 50, 106, 110, 213}) {
        EXPECT_EQ(pixelAt(painted, x, 0), kBlack) << x;
        EXPECT_EQ(pixelAt(painted, x, 14), kBlack) << x;
    }
    EXPECT_EQ(columnsOf(painted, kRed), (std::vector<int>{107, 108}));
    EXPECT_FALSE(anywhere(painted, kYellow));
    EXPECT_FALSE(anywhere(painted, kGreen));
    EXPECT_FALSE(anywhere(painted, kOrange));
}

TEST_F(DisplayEventsTest, PositionAtTheMinimumHasNoBlueAndTheMarkAtTheLeftEdge) {
    strip.setData(nullptr, 0, 20.0, 90.0, 20.0, 0.0, 0.0);
    const QImage painted = paintedImage(strip);
    EXPECT_FALSE(anywhere(painted, kBlue));
    EXPECT_EQ(columnsOf(painted, kRed), (std::vector<int>{0, 1}));
    // The grey rectangle starts at x 1, under the mark.
    EXPECT_EQ(pixelAt(painted, 2, 7), kGrey);
}

TEST_F(DisplayEventsTest, EventValuesAreYellowTicksAndOffScaleOnesAreClipped) {
    const double values[] = {25.0, 60.0, 100.0, -10.0, 1e300};
    strip.setData(values, 5, 0.0, 100.0, 80.0, 0.0, 0.0);
    EXPECT_EQ(strip.count, 5);
    const QImage painted = paintedImage(strip);
    // 25 -> 53.75 and 60 -> 129: both under the bar; 100 maps to x 215, just outside.
    EXPECT_EQ(columnsOf(painted, kYellow), (std::vector<int>{53, 129}));
    for (int y = 0; y < 15; ++y) {
        EXPECT_EQ(pixelAt(painted, 53, y), (y == 0 || y == 14) ? kBlack : kYellow) << y;
    }
    EXPECT_EQ(pixelAt(painted, 213, 7), kGrey);
}

TEST_F(DisplayEventsTest, GreenAndOrangeMarksAreTwoPixelsWideOverTicks) {
    const double values[] = {20.0};
    strip.setData(values, 1, 0.0, 100.0, 50.0, 20.0, 80.0);
    const QImage painted = paintedImage(strip);
    // 20 -> 43, 80 -> 172: the green mark covers the yellow tick at 43.
    EXPECT_EQ(columnsOf(painted, kGreen), (std::vector<int>{43, 44}));
    EXPECT_EQ(columnsOf(painted, kOrange), (std::vector<int>{172, 173}));
    EXPECT_FALSE(anywhere(painted, kYellow));
    EXPECT_EQ(pixelAt(painted, 43, 0), kGreen) << "marks are drawn over the border";
}

TEST_F(DisplayEventsTest, DirectWritesShowAfterARepaint) {
    strip.minimum = 100.0;
    strip.maximum = 5000.0;
    strip.position = 2550.0;
    strip.mark1 = 500.0;
    strip.count = 0;
    const QImage painted = paintedImage(strip);
    // 2550 -> 107.5, 500 -> 17.55.
    EXPECT_EQ(columnsOf(painted, kRed), (std::vector<int>{107, 108}));
    EXPECT_EQ(columnsOf(painted, kGreen), (std::vector<int>{17, 18}));
}

TEST_F(DisplayEventsTest, WithoutAScaleOnlyTheGreyStripAndBorderShow) {
    const QImage painted = paintedImage(strip);
    EXPECT_EQ(pixelAt(painted, 100, 7), kGrey);
    EXPECT_EQ(pixelAt(painted, 0, 7), kBlack);
    EXPECT_EQ(pixelAt(painted, 100, 14), kBlack);
    EXPECT_FALSE(anywhere(painted, kRed));
    EXPECT_FALSE(anywhere(painted, kBlue));

    strip.setData(nullptr, 0, 5.0, 5.0, 5.0, 5.0, 5.0);
    EXPECT_FALSE(anywhere(paintedImage(strip), kRed));
}

TEST_F(DisplayEventsTest, SetDataCopiesTheValuesAndKeepsWithinTheTable) {
    std::vector<double> many(MAX_EVENT_VALUES + 50, 1.0);
    many[0] = 3.0;
    strip.setData(many.data(), static_cast<int>(many.size()), 0.0, 10.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(strip.count, MAX_EVENT_VALUES);
    many[0] = 9.0;
    EXPECT_EQ(strip.values[0], 3.0);
    EXPECT_EQ(strip.values[MAX_EVENT_VALUES - 1], 1.0);

    strip.setData(many.data(), -4, 0.0, 10.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(strip.count, 0);
    strip.setData(nullptr, 7, 0.0, 10.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(strip.count, 0);
}

TEST_F(DisplayEventsTest, NonFiniteNumbersPaintWithoutHarm) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double values[] = {nan, std::numeric_limits<double>::infinity()};
    strip.setData(values, 2, 0.0, 100.0, nan, nan, -1e300);
    const QImage painted = paintedImage(strip);
    EXPECT_EQ(pixelAt(painted, 0, 7), kBlack);
    EXPECT_EQ(pixelAt(painted, 214, 7), kBlack);
}

} // namespace

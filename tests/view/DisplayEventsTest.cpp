#include "DisplayEvents.h"
#include "QtTestApplication.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr QRgb kBlack = 0x000000;

TEST(DisplayEvents, PaintsTheBarEventTicksAndMarksOnTheScale) {
    constexpr QRgb blue = 0x0000ff, grey = 0xb4b4b4, red = 0xff0000, yellow = 0xffff00,
                   green = 0x00ff00, orange = 0xff6400;
    struct Case {
        const char* what;
        std::vector<double> values;
        double minimum, maximum, position, mark1, mark2;
        // Columns of each colour; left of the red mark is the blue bar, right of it grey.
        std::vector<int> red, yellow, green, orange;
    };
    const Case cases[] = {
        {"halfway", {}, 0, 100, 50, 0, 0, {107, 108}, {}, {}, {}},
        {"at the minimum", {}, 20, 90, 20, 0, 0, {0, 1}, {}, {}, {}},
        // 25 and 60 fall at 53.75 and 129; 100 maps to 215, just off the strip.
        {"events", {25, 60, 100, -10, 1e300}, 0, 100, 80, 0, 0, {172, 173}, {53, 129}, {}, {}},
        {"marks over a tick", {20}, 0, 100, 50, 20, 80, {107, 108}, {}, {43, 44}, {172, 173}},
        {"no scale", {}, 5, 5, 5, 5, 5, {}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DisplayEvents strip("Tree Depth", 215, 15);
        strip.setData(c.values.data(), static_cast<int>(c.values.size()), c.minimum, c.maximum,
                      c.position, c.mark1, c.mark2);
        const QImage painted = paintedImage(strip);
        const auto in = [](const std::vector<int>& xs, int x) {
            return std::find(xs.begin(), xs.end(), x) != xs.end();
        };
        for (int x = 0; x < 215; ++x) {
            // Marks are drawn over the border, ticks under it.
            QRgb mark = in(c.red, x) ? red : in(c.green, x) ? green : in(c.orange, x) ? orange : 0;
            QRgb middle = mark      ? mark
                          : in(c.yellow, x)          ? yellow
                          : x == 0 || x == 214       ? kBlack
                          : !c.red.empty() && x < c.red[0] ? blue
                                                     : grey;
            EXPECT_EQ(pixelAt(painted, x, 7), middle) << x;
            EXPECT_EQ(pixelAt(painted, x, 0), mark ? mark : kBlack) << x;
            EXPECT_EQ(pixelAt(painted, x, 14), mark ? mark : kBlack) << x;
        }
    }
}

TEST(DisplayEvents, CopiesWhatFitsAndPaintsAnyNumberWithoutHarm) {
    DisplayEvents strip("Timeline", 215, 15);
    std::vector<double> many(MAX_EVENT_VALUES + 50, 1.0);
    strip.setData(many.data(), static_cast<int>(many.size()), 0.0, 10.0, 0.0, 0.0, 0.0);
    many[0] = 9.0;
    EXPECT_EQ(strip.count, MAX_EVENT_VALUES);
    EXPECT_EQ(strip.values[0], 1.0);
    strip.setData(many.data(), -4, 0.0, 10.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(strip.count, 0);
    strip.setData(nullptr, 7, 0.0, 10.0, 0.0, 0.0, 0.0);
    EXPECT_EQ(strip.count, 0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double odd[] = {nan, std::numeric_limits<double>::infinity()};
    strip.setData(odd, 2, 0.0, 100.0, nan, nan, -1e300);
    const QImage painted = paintedImage(strip);
    EXPECT_EQ(pixelAt(painted, 0, 7), kBlack);
    EXPECT_EQ(pixelAt(painted, 214, 7), kBlack);
}

} // namespace

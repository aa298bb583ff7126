#include "ContactSheet.h"

#include "OutputFile.h"
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct Colour {
    uint8_t y, u, v; // what goes in
    uint8_t r, g, b; // about what comes out
};
// Full-range-ish primaries in BT.601 limited range.
const Colour kRed{81, 90, 240, 255, 0, 0};
const Colour kGreen{145, 54, 34, 0, 255, 0};
const Colour kBlue{41, 240, 110, 0, 0, 255};

void expectNear(const uint8_t* pixel, const Colour& c) {
    EXPECT_NEAR(pixel[0], c.r, 12);
    EXPECT_NEAR(pixel[1], c.g, 12);
    EXPECT_NEAR(pixel[2], c.b, 12);
}

TEST(ContactSheet, LayoutHasOneCellPerSegmentUpToSixAcross) {
    ContactSheet sheet(1280, 720);
    const PicturePtr picture = solidPicture(1280, 720, 128, 128, 128);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(sheet.add(picture.get(), i));
    const ContactSheetLayout l = sheet.layout();
    EXPECT_EQ(sheet.count(), 8);
    EXPECT_EQ(l.columns, 6);
    EXPECT_EQ(l.rows, 2);
    EXPECT_EQ(l.thumbnailWidth, 240);
    EXPECT_EQ(l.thumbnailHeight, 136); // 240 * 9 / 16 = 135, kept even
    EXPECT_EQ(l.width, 6 * 240 + 7 * ContactSheet::kGap);
    EXPECT_EQ(l.height, 2 * (136 + ContactSheet::kLabelHeight) + 3 * ContactSheet::kGap);
}

TEST(ContactSheet, FewSegmentsMakeANarrowSheet) {
    ContactSheet sheet(320, 240);
    const PicturePtr picture = solidPicture(320, 240, 128, 128, 128);
    sheet.add(picture.get(), 0.0);
    sheet.add(picture.get(), 1.0);
    const ContactSheetLayout l = sheet.layout();
    EXPECT_EQ(l.columns, 2);
    EXPECT_EQ(l.rows, 1);
    EXPECT_EQ(l.thumbnailHeight, 180);
}

TEST(ContactSheet, NonSquarePixelsKeepTheDisplayShape) {
    // 720x576 with 16:15 pixels shows as 768x576, so 240 wide is 180 high.
    ContactSheet sheet(720, 576, 16, 15);
    EXPECT_EQ(sheet.layout().thumbnailHeight, 180);
}

TEST(ContactSheet, PngHoldsEachThumbnailInItsCell) {
    const std::string dir = scratchDirectory("ContactSheetPng");
    ContactSheet sheet(320, 240);
    const Colour colours[] = {kRed, kGreen, kBlue, kRed, kGreen, kBlue, kRed};
    for (int i = 0; i < 7; ++i) {
        const PicturePtr picture = solidPicture(320, 240, colours[i].y, colours[i].u, colours[i].v);
        ASSERT_TRUE(sheet.add(picture.get(), 12.5 * i));
    }
    std::string error;
    ASSERT_TRUE(sheet.writePng(dir + "/sheet.png", &error)) << error;

    const DecodedPng png = decodePng(dir + "/sheet.png");
    ASSERT_TRUE(png.ok);
    const ContactSheetLayout l = sheet.layout();
    EXPECT_EQ(png.width, l.width);
    EXPECT_EQ(png.height, l.height);
    for (int i = 0; i < 7; ++i) {
        const cv::Point o = l.thumbnailOrigin(i);
        SCOPED_TRACE(i);
        expectNear(png.pixel(o.x + l.thumbnailWidth / 2, o.y + l.thumbnailHeight / 2), colours[i]);
        expectNear(png.pixel(o.x + 1, o.y + 1), colours[i]);
        expectNear(png.pixel(o.x + l.thumbnailWidth - 2, o.y + l.thumbnailHeight - 2), colours[i]);
    }
    // The eighth place of the grid is empty: background, no thumbnail.
    const cv::Point empty = l.thumbnailOrigin(7);
    const uint8_t* bg = png.pixel(empty.x + 120, empty.y + 90);
    EXPECT_EQ(bg[0], 32);
    EXPECT_EQ(bg[1], 32);
    EXPECT_EQ(bg[2], 32);
}

TEST(ContactSheet, TimeIsPrintedUnderEachThumbnail) {
    const std::string dir = scratchDirectory("ContactSheetLabels");
    ContactSheet sheet(320, 240);
    const PicturePtr picture = solidPicture(320, 240, 16, 128, 128);
    sheet.add(picture.get(), 3.0);
    sheet.add(picture.get(), 4.0);
    std::string error;
    ASSERT_TRUE(sheet.writePng(dir + "/sheet.png", &error)) << error;
    const DecodedPng png = decodePng(dir + "/sheet.png");
    ASSERT_TRUE(png.ok);
    const ContactSheetLayout l = sheet.layout();
    for (int i = 0; i < 2; ++i) {
        const cv::Point o = l.thumbnailOrigin(i);
        int bright = 0;
        for (int y = o.y + l.thumbnailHeight; y < o.y + l.cellHeight; ++y)
            for (int x = o.x; x < o.x + l.cellWidth; ++x)
                bright += png.pixel(x, y)[0] > 160;
        EXPECT_GT(bright, 40) << "no text under cell " << i;
    }
}

TEST(ContactSheet, ClockTextHasTenthsAndHours) {
    EXPECT_EQ(clockText(0.0), "0:00:00.0");
    EXPECT_EQ(clockText(83.44), "0:01:23.4");
    EXPECT_EQ(clockText(3725.96), "1:02:06.0");
    EXPECT_EQ(clockText(-1.0), "0:00:00.0");
}

TEST(ContactSheet, UnwritablePlaceIsAnError) {
    ContactSheet sheet(320, 240);
    const PicturePtr picture = solidPicture(320, 240, 16, 128, 128);
    sheet.add(picture.get(), 0.0);
    std::string error;
    EXPECT_FALSE(sheet.writePng("/nonexistent-dir/sheet.png", &error));
    EXPECT_EQ(error, "cannot write '/nonexistent-dir/sheet.png': No such file or directory");
}

} // namespace

#include "DisplayWindow.h"
#include "QtTestApplication.h"

#include <QDir>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr QRgb kBlack = 0x000000;

// Runs with the working directory set to the one holding the program's logo.
class DisplayWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QStringLiteral(TESSARO_SOURCE_DIR "/data")));
        ASSERT_TRUE(logo.load(QStringLiteral(TESSARO_SOURCE_DIR "/data/Logo-small.bmp")));
        logo = logo.convertToFormat(QImage::Format_RGB32);
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QString previous;
    QImage logo;
};

void fillPicture(DisplayWindow& window, uint32_t colour) {
    QMutexLocker locker(window.pictureMutex);
    for (int y = 0; y < window.height; ++y) {
        auto* row =
            reinterpret_cast<uint32_t*>(window.picture->data[0] + y * window.picture->linesize[0]);
        std::fill(row, row + window.width, colour);
    }
}

TEST_F(DisplayWindowTest, HasItsFixedSizeAndAnRgb32PictureOfThatSize) {
    DisplayWindow window("VIDEO", 445, 335);
    EXPECT_EQ(window.name(), QStringLiteral("VIDEO"));
    EXPECT_EQ(window.width, 445);
    EXPECT_EQ(window.height, 335);
    EXPECT_EQ(window.minimumSize(), QSize(445, 335));
    EXPECT_EQ(window.maximumSize(), QSize(445, 335));
    EXPECT_EQ(window.picture->format, AV_PIX_FMT_RGB32);
    EXPECT_EQ(window.picture->width, 445);
    EXPECT_EQ(window.picture->height, 335);
    EXPECT_GE(window.picture->linesize[0], 445 * 4);
    EXPECT_FALSE(window.pictureReady);
}

TEST_F(DisplayWindowTest, ShowsTheTiledLogoInsideAThreePixelBlackFrame) {
    DisplayWindow window("VIDEO", 445, 335);
    const QImage painted = paintedImage(window);
    for (QPoint p :
         {QPoint(3, 3), QPoint(40, 20), QPoint(120, 100), QPoint(441, 331), QPoint(200, 150)}) {
        EXPECT_EQ(pixelAt(painted, p.x(), p.y()),
                  pixelAt(logo, p.x() % logo.width(), p.y() % logo.height()))
            << p.x() << "," << p.y();
    }
    for (int x : {0, 1, 2, 442, 443, 444}) {
        for (int y : {0, 100, 334}) {
            EXPECT_EQ(pixelAt(painted, x, y), kBlack) << x << "," << y;
        }
    }
    for (int y : {0, 1, 2, 332, 333, 334}) {
        EXPECT_EQ(pixelAt(painted, 200, y), kBlack) << y;
    }
}

TEST_F(DisplayWindowTest, ShowsThePictureOnceItIsReady) {
    DisplayWindow window("VIDEO", 445, 335);
    fillPicture(window, 0xff123456u);
    EXPECT_EQ(pixelAt(paintedImage(window), 200, 150), pixelAt(logo, 200 % 80, 150 % 60))
        << "the picture shows only after pictureReady";

    window.pictureReady = true;
    const QImage painted = paintedImage(window);
    for (QPoint p : {QPoint(3, 3), QPoint(200, 150), QPoint(441, 331)}) {
        EXPECT_EQ(pixelAt(painted, p.x(), p.y()), 0x123456u) << p.x() << "," << p.y();
    }
    EXPECT_EQ(pixelAt(painted, 2, 200), kBlack);
    EXPECT_EQ(pixelAt(painted, 200, 332), kBlack);
}

TEST_F(DisplayWindowTest, AStripFifteenPixelsHighHasFrameLinesAtItsEdgesOnly) {
    DisplayWindow strip("Tree Depth", 215, 15);
    strip.pictureReady = true;
    fillPicture(strip, 0xffffffffu);
    const QImage painted = paintedImage(strip);
    for (int y = 0; y < 15; ++y) {
        const bool frame = y <= 2 || y >= 12;
        EXPECT_EQ(pixelAt(painted, 100, y), frame ? kBlack : 0xffffffu) << y;
    }
}

} // namespace

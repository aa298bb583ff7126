#include "Picture.h"
#include "Screenshot.h"
#include "TestMedia.h"
#include "VideoReader.h"
#include "WindowControl.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(Speed, BracketsStepThroughTheSpeedsAndStopAtTheEnds) {
    struct Case {
        double from;
        int direction;
        double to;
    };
    const Case cases[] = {{1.0, 1, 1.25},  {1.25, 1, 1.5},  {1.5, 1, 2.0},  {2.0, 1, 2.0},
                          {1.0, -1, 0.75}, {0.75, -1, 0.5}, {0.5, -1, 0.5}, {1.1, 1, 1.25},
                          {1.1, -1, 1.0},  {0.6, -1, 0.5}};
    for (const Case& c : cases)
        EXPECT_EQ(steppedSpeed(c.from, c.direction), c.to) << c.from << " " << c.direction;
}

// A screenshot holds the picture at the video's own size, whatever the
// window's, and never writes over an earlier one.
TEST(Screenshot, SavesThePictureAtTheVideosSizeUnderANewName) {
    for (const char* file : {kH264Aac, kOddSize}) {
        SCOPED_TRACE(file);
        VideoReader reader(testMedia(file).c_str());
        ASSERT_EQ(reader.status(), VideoReader::OK);
        int width = 0;
        int height = 0;
        reader.getVideoSize(&width, &height);
        AVFrame* decoded = nullptr;
        ASSERT_TRUE(reader.getNextFrame(&decoded));
        const QImage image = pictureImage(Picture::copyOf(decoded, width, height));
        ASSERT_EQ(image.size(), QSize(width, height));
        EXPECT_EQ(image.pixelColor(width / 2, height / 2).alpha(), 255);

        QTemporaryDir folder;
        const QString name = screenshotName(QStringLiteral("/videos/film.mp4"), 3723.5);
        EXPECT_EQ(name, QStringLiteral("film_1-02-03.500.png"));
        const QString first = saveScreenshot(image, folder.path(), name);
        const QString second = saveScreenshot(image, folder.path(), name);
        EXPECT_EQ(QFileInfo(first).fileName(), name);
        EXPECT_EQ(QFileInfo(second).fileName(), QStringLiteral("film_1-02-03.500-2.png"));
        EXPECT_EQ(QImage(second).size(), QSize(width, height));
    }
}

} // namespace

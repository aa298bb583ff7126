// The summary's files apart from the program: files committed whole, the
// contact sheet and the summary video.

#include "ContactSheet.h"
#include "OutputFile.h"
#include "SummaryVideoWriter.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(OutputFile, OnlyACommittedFileAppearsAndNothingElseIsLeft) {
    const std::string dir = scratchDirectory("OutputFile");
    const std::string target = dir + "/summary.mp4";
    std::ofstream(target) << "old";
    const mode_t mask = umask(022);
    {
        OutputFile file(target);
        std::string error;
        ASSERT_TRUE(file.create(&error)) << error;
        // Beside the final name, so that the rename is atomic.
        EXPECT_EQ(file.temporaryPath().rfind(dir + "/", 0), 0u);
        std::ofstream(file.temporaryPath()) << "newer";
        EXPECT_EQ(std::filesystem::file_size(target), 3u); // still the old one
        ASSERT_TRUE(file.commit(&error)) << error;
    }
    umask(mask);
    EXPECT_EQ(std::filesystem::file_size(target), 5u);
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u); // as any new file, not a private temporary one
    // A directory in the way fails the commit, and the temporary file goes.
    ASSERT_EQ(mkdir((dir + "/taken").c_str(), 0755), 0);
    {
        OutputFile blocked(dir + "/taken");
        std::string error;
        ASSERT_TRUE(blocked.create(&error));
        EXPECT_FALSE(blocked.commit(&error));
        EXPECT_NE(error.find(dir + "/taken"), std::string::npos) << error;
    }
    EXPECT_EQ(fileCount(dir), 2u);
}

TEST(ContactSheet, LayoutKeepsTheShapeAndSixAcross) {
    const struct {
        int width, height, sarNum, sarDen, pictures;
        int columns, rows, thumbnailHeight;
    } cases[] = {
        {1280, 720, 1, 1, 8, 6, 2, 136},  // 240 * 9 / 16 = 135, kept even
        {720, 576, 16, 15, 1, 1, 1, 180}, // 16:15 pixels show as 768x576
    };
    for (const auto& c : cases) {
        ContactSheet sheet(c.width, c.height, c.sarNum, c.sarDen);
        const PicturePtr picture = solidPicture(c.width, c.height, 128, 128, 128);
        for (int i = 0; i < c.pictures; ++i)
            ASSERT_TRUE(sheet.add(picture.get(), i));
        const ContactSheetLayout l = sheet.layout();
        EXPECT_EQ(l.columns, c.columns);
        EXPECT_EQ(l.rows, c.rows);
        EXPECT_EQ(l.thumbnailWidth, 240);
        EXPECT_EQ(l.thumbnailHeight, c.thumbnailHeight);
    }
}

TEST(ContactSheet, PngHoldsEachThumbnailInItsCellWithItsTimeUnder) {
    struct Colour {
        uint8_t y, u, v; // in, BT.601 limited range
        uint8_t r, g, b; // about what comes out
    };
    const Colour colours[] = {
        {81, 90, 240, 255, 0, 0}, {145, 54, 34, 0, 255, 0}, {41, 240, 110, 0, 0, 255}};
    const Colour background{0, 0, 0, 32, 32, 32};
    ContactSheet sheet(320, 240);
    for (int i = 0; i < 7; ++i) {
        const Colour& c = colours[i % 3];
        ASSERT_TRUE(sheet.add(solidPicture(320, 240, c.y, c.u, c.v).get(), 12.5 * i));
    }
    const std::string path = scratchDirectory("ContactSheet") + "/sheet.png";
    std::string error;
    ASSERT_TRUE(sheet.writePng(path, &error)) << error;
    EXPECT_FALSE(sheet.writePng("/nonexistent-dir/sheet.png", &error));

    const DecodedPng png = decodePng(path);
    ASSERT_TRUE(png.ok);
    const ContactSheetLayout l = sheet.layout();
    ASSERT_EQ(png.width, l.width);
    ASSERT_EQ(png.height, l.height);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const cv::Point o = l.thumbnailOrigin(i);
        const int w = l.thumbnailWidth, h = l.thumbnailHeight;
        for (const cv::Point p :
             {o + cv::Point(1, 1), o + cv::Point(w / 2, h / 2), o + cv::Point(w - 2, h - 2)}) {
            // The eighth place of the grid is empty: background, no thumbnail.
            const Colour& c = i < 7 ? colours[i % 3] : background;
            const uint8_t* pixel = png.pixel(p.x, p.y);
            EXPECT_NEAR(pixel[0], c.r, 12);
            EXPECT_NEAR(pixel[1], c.g, 12);
            EXPECT_NEAR(pixel[2], c.b, 12);
        }
        int bright = 0; // the label's text under the thumbnail
        for (int y = o.y + h; y < o.y + l.cellHeight; ++y)
            for (int x = o.x; x < o.x + l.cellWidth; ++x)
                bright += png.pixel(x, y)[0] > 160;
        EXPECT_EQ(bright > 40, i < 7) << bright;
    }
    const struct {
        double seconds;
        const char* text;
    } clocks[] = {
        {0.0, "0:00:00.0"}, {83.44, "0:01:23.4"}, {3725.96, "1:02:06.0"}, {-1.0, "0:00:00.0"}};
    for (const auto& c : clocks)
        EXPECT_EQ(clockText(c.seconds), c.text);
}

// One span of the source: its first picture's time, how many, at what rate,
// and which are missing (dropped frames).
struct Span {
    double start;
    int pictures;
    double rate = 25.0;
    std::vector<int> missing = {};
};

TEST(SummaryVideoWriter, SpansRunOnWithoutGapsAndTheirSoundComesAlong) {
    const struct {
        const char* name;
        VideoWriterFormat format;
        std::vector<Span> spans;
        int64_t frames;
        double seconds;
        // With kH264Aac's 4 s tone as the audio source: the share of the
        // summary's sound that is not silence.
        double soundingMin = 0, soundingMax = 0;
    } cases[] = {
        {"far apart", {320, 240, 25, 1}, {{3.0, 25}, {40.0, 25}, {95.2, 10}}, 60, 2.4},
        {"with sound", {320, 240, 25, 1}, {{0.0, 25}, {2.0, 25}}, 50, 2.0, 0.9, 1},
        {"past the sound", {320, 240, 25, 1}, {{1.0, 25}, {30.0, 25}}, 50, 2.0, 0.4, 0.6},
        {"dropped", {320, 240, 25, 1}, {{1.0, 25, 25, {10, 11, 12}}, {3.0, 25}}, 50, 2, 0.9, 1},
        {"source faster", {320, 240, 25, 1}, {{0.0, 50, 50}}, 25, 1.0},
        {"odd size", {321, 241, 25, 1}, {{0.0, 5}}, 5, 0.2},
        {"ntsc", {320, 240, 30000, 1001}, {{0.0, 60, 30000 / 1001.0}}, 60, 60 * 1.001 / 30},
        // One picture every two seconds: a time base MP4 cannot hold as it is.
        {"slow", {320, 240, 1, 2}, {{0.0, 3, 0.5}}, 3, 6.0},
    };
    const std::string dir = scratchDirectory("SummaryVideoWriter");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + "/" + c.name + ".mp4";
        SummaryVideoWriter writer;
        std::string error;
        const bool sound = c.soundingMax > 0;
        ASSERT_TRUE(writer.open(path, c.format, sound ? testMedia(kH264Aac) : "", &error)) << error;
        for (const Span& span : c.spans) {
            std::vector<PicturePtr> pictures;
            std::vector<SummaryVideoWriter::TimedPicture> timed;
            for (int i = 0; i < span.pictures; ++i) {
                // Each a different grey, so that the encoder has work to do.
                pictures.push_back(solidPicture(c.format.width, c.format.height, 30 + i, 128, 128));
                if (std::find(span.missing.begin(), span.missing.end(), i) == span.missing.end())
                    timed.push_back({pictures.back().get(), span.start + i / span.rate});
            }
            ASSERT_TRUE(
                writer.addSpan(span.start, span.start + span.pictures / span.rate, timed, &error))
                << error;
        }
        ASSERT_TRUE(writer.finish(&error)) << error;
        const StreamInfo info = inspectMedia(path);
        EXPECT_EQ(info.videoCodec, "h264");
        EXPECT_EQ(info.width, 320); // an odd size loses its last column and row
        EXPECT_EQ(info.height, 240);
        EXPECT_NEAR(info.frameRate, double(c.format.frameRateNum) / c.format.frameRateDen, 1e-6);
        EXPECT_EQ(info.videoFrames, c.frames);
        EXPECT_TRUE(info.timestampsContinuous);
        // Within a frame (an AAC frame for the sound).
        EXPECT_NEAR(info.duration, c.seconds, c.format.frameRateDen * 1.0 / c.format.frameRateNum);
        EXPECT_EQ(info.audioStreams, sound ? 1 : 0);
        if (sound) {
            EXPECT_EQ(info.audioCodec, "aac");
            EXPECT_NEAR(info.audioDuration, c.seconds, 0.04);
            EXPECT_GE(info.sounding, c.soundingMin);
            EXPECT_LE(info.sounding, c.soundingMax);
        }
    }
}

} // namespace

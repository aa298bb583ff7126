// Every fixture file must yield through getNextFrame exactly the pictures
// FFmpeg's own decoder returns for its first video stream, in rising order.

#include "TestMedia.h"
#include "VideoReader.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Pictures `ffmpeg -map 0:v:0 -vsync passthrough` decodes from the file.
int ffmpegPictureCount(const std::string& path) {
    const std::string command = "ffmpeg -nostdin -hide_banner -i '" + path +
                                "' -map 0:v:0 -vsync passthrough -f null - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string output;
    char chunk[4096];
    size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0)
        output.append(chunk, read);
    pclose(pipe);
    // Progress lines end in \r; the last frame= figure is the total.
    int count = -1;
    for (size_t at = output.find("frame="); at != std::string::npos;
         at = output.find("frame=", at + 1)) {
        size_t digit = at + 6;
        while (digit < output.size() && output[digit] == ' ')
            ++digit;
        if (digit < output.size() && std::isdigit(static_cast<unsigned char>(output[digit])))
            count = std::atoi(output.c_str() + digit);
    }
    // A file of which nothing decodes gives no progress line at all.
    if (count < 0 && output.find("Cannot determine format of input stream") != std::string::npos)
        count = 0;
    return count;
}

class PictureCount : public testing::TestWithParam<const char*> {};

TEST_P(PictureCount, MatchesFfmpegWithRisingTimestamps) {
    const std::string path = testMedia(GetParam());
    const int expected = ffmpegPictureCount(path);
    ASSERT_GE(expected, 0) << "no count from ffmpeg for " << path;

    VideoReader reader(path.c_str());
    ASSERT_EQ(reader.status, VideoReader::OK);
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    EXPECT_EQ(static_cast<int>(pictures.size()), expected);
    EXPECT_EQ(reader.frameCount, static_cast<int>(pictures.size()));
    for (size_t i = 1; i < pictures.size(); ++i)
        ASSERT_GT(pictures[i].timestamp, pictures[i - 1].timestamp) << "picture " << i;

    // The end stays the end.
    AVFrame* picture = nullptr;
    EXPECT_FALSE(reader.getNextFrame(&picture));
}

std::string fileLabel(const testing::TestParamInfo<const char*>& info) {
    std::string label = info.param;
    for (char& c : label)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return label;
}

INSTANTIATE_TEST_SUITE_P(Fixture, PictureCount, testing::ValuesIn(kDecodableMedia), fileLabel);

} // namespace

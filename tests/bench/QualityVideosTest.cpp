// The quality bench scores summaries against what its videos are said to
// show: a small one, made the same way, must show just that.

#include "QualityVideos.h"
#include "FragmentDecoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

TEST(QualityVideos, FramesShowWhatTheTruthSays) {
    const QualityVideo video = syntheticVideo({"truth",
                                               {{Shot::Rings, 30},
                                                {Shot::Black, 25},
                                                {Shot::Pattern, 40, 10},
                                                {Shot::Bars, 20},
                                                {Shot::Wall, 30},
                                                {Shot::Rings, 30, -1, 10}}});
    std::string error;
    const std::string path =
        qualityVideoFile(video, TESSARO_BINARY_DIR "/test-media/quality", &error);
    ASSERT_FALSE(path.empty()) << error;
    FragmentDecoder decoder(path.c_str());
    std::vector<Frame> frames;
    while (const std::unique_ptr<FrameBuffer> f = decoder.decodeFragment())
        frames.insert(frames.end(), f->frames.begin(), f->frames.end());
    const std::vector<FrameTruth>& truth = video.truth;
    ASSERT_EQ(frames.size(), truth.size());

    // A cut, or a flash starting or ending, changes the picture at once;
    // nothing else does. The dissolve (the ten frames before the last
    // twenty) changes it step by step.
    const size_t dissolve = frames.size() - 30;
    for (size_t k = 1; k < frames.size(); ++k) {
        if (k >= dissolve && k < dissolve + 10)
            continue;
        const bool change =
            truth[k].shot != truth[k - 1].shot || truth[k].junk != truth[k - 1].junk;
        EXPECT_EQ(frameDifference(frames[k - 1], frames[k]) > 0.15, change) << "frame " << k;
    }
    // Black holds only the darkest luma, the flash only the brightest.
    const double* black = frames[40].descriptors.histogram[0];
    const double* flash = frames[66].descriptors.histogram[0];
    EXPECT_EQ(black[0] + black[1], std::accumulate(black, black + 16, 0.0));
    EXPECT_EQ(flash[14] + flash[15], std::accumulate(flash, flash + 16, 0.0));
    // The shot seen again shows the same frames, under fresh grain.
    EXPECT_LT(frameDifference(frames[12], frames[frames.size() - 18]), 0.05);
}

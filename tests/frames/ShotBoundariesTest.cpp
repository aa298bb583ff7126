// What the descriptors alone tell of a picture: junk or not.

#include "ShotBoundaries.h"
#include "Picture.h"
#include "TestMedia.h"
#include "VideoReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every picture of the file, described as the analysis describes it.
std::vector<Descriptors> describedPictures(const std::string& path) {
    VideoReader reader(path.c_str());
    std::vector<Descriptors> pictures;
    AVFrame* decoded = nullptr;
    while (reader.getNextFrame(&decoded)) {
        int width = 0, height = 0;
        reader.getVideoSize(&width, &height);
        const Picture picture = Picture::copyOf(decoded, width, height);
        pictures.push_back(Descriptors::of(picture.avFrame(), width, height));
    }
    return pictures;
}

// Bars, cards, noise and black from FFmpeg's own sources are junk; saturated
// and finely textured stills (a mandrill, sweets, a fish, a toy, an orange)
// and a colourful clip are not. Eight pictures of each, cut together.
TEST(JunkPicture, BarsCardsAndNoiseByTheirStructureNotColourfulOrTexturedPictures) {
    const char* const names[] = {"smptebars", "smptehdbars", "pal75bars", "rgbtestsrc", "testsrc",
                                 "noise",     "black",       "mandrill",  "sweets",     "fish",
                                 "toy",       "orange",      "mandelbrot"};
    constexpr int kJunkSources = 7;
    const std::vector<Descriptors> pictures = describedPictures(testMedia(kJunkTable));
    ASSERT_EQ(pictures.size(), 8 * std::size(names));
    for (size_t k = 1; k < pictures.size(); ++k) {
        const size_t source = k / 8;
        SCOPED_TRACE(names[source]);
        // The first picture of a source is judged beside the last of another.
        if (k % 8 == 0)
            continue;
        EXPECT_EQ(isJunkPicture(pictures[k], &pictures[k - 1]), source < kJunkSources) << k;
    }
    // Noise is told by what changes from picture to picture: the same
    // picture again is not noise.
    EXPECT_FALSE(isJunkPicture(pictures[5 * 8 + 3], &pictures[5 * 8 + 3]));
}

} // namespace

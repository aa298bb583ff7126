#include "PlaybackReader.h"
#include "FragmentDecoder.h"
#include "Frame.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace {

// The first fragments of the video as the summary describes and decides them
// (no pictures kept), all kept.
std::vector<Decision> keptFragments(const std::string& path, size_t most) {
    FragmentDecoder decoder(path.c_str());
    std::vector<Decision> fragments;
    while (fragments.size() < most) {
        const std::unique_ptr<FrameBuffer> fragment = decoder.decodeFragment();
        if (!fragment)
            break;
        Decision& d = fragments.emplace_back();
        d.frames = fragment->count();
        d.start = fragment->first().frameTime;
        d.last = fragment->last().frameTime;
        d.kept = true;
        for (const Frame& f : fragment->frames)
            d.signatures.push_back(pictureSignature(f.descriptors));
    }
    return fragments;
}

// Checksums of the first pictures a straight decode gives, by time.
std::map<double, uint64_t> straightDecode(const std::string& path, int most) {
    VideoReader reader(path.c_str());
    int width = 0, height = 0;
    reader.getVideoSize(&width, &height);
    std::map<double, uint64_t> sums;
    AVFrame* picture = nullptr;
    for (int i = 0; i < most && reader.getNextFrame(&picture); ++i)
        sums[reader.timestampToSeconds(picture->pts)] = pictureChecksum(picture, width, height);
    return sums;
}

TEST(PlaybackReader, KeptFragmentsComeBackAsTheStraightDecodeGaveThem) {
    // B-frames, AVI with dropped frames, VP9 without durations, B-frames with
    // fragments starting mid-group (720p, a key frame every 50), MPEG-4
    // groups of 12 at an odd size. Four fragments at most: the end of the
    // video is the last of the shorter ones.
    for (const char* file : {kH264Aac, kMpeg4Mp3, kVp9Opus, kH264_720p, kOddSize}) {
        SCOPED_TRACE(file);
        const std::string path = testMedia(file);
        const std::vector<Decision> fragments = keptFragments(path, 4);
        const std::map<double, uint64_t> straight = straightDecode(path, 100);
        ASSERT_GE(fragments.size(), 2u);
        const size_t last = fragments.size() - 1;
        // Forward with a gap, straight on, back to the start, then the last.
        PlaybackReader reader(path);
        for (size_t i : {size_t{1}, std::min<size_t>(2, last), size_t{0}, last}) {
            SCOPED_TRACE(i);
            std::vector<PictureFrame> frames;
            ASSERT_TRUE(reader.read(fragments[i], frames));
            ASSERT_EQ(static_cast<int>(frames.size()), fragments[i].frames);
            EXPECT_DOUBLE_EQ(frames.front().frameTime, fragments[i].start);
            for (const PictureFrame& frame : frames)
                EXPECT_EQ(pictureChecksum(frame.picture.avFrame(), frame.picture.width(),
                                          frame.picture.height()),
                          straight.at(frame.frameTime))
                    << frame.frameTime;
        }
    }
}

TEST(PlaybackReader, PicturesThatDoNotMatchTheirDescriptionAreRefused) {
    const std::string path = testMedia(kScenes);
    std::vector<Decision> fragments = keptFragments(path, 5);
    ASSERT_EQ(fragments.size(), 5u);
    PlaybackReader reader(path);
    std::vector<PictureFrame> frames;
    Decision wrong = fragments[3];
    wrong.signatures[5] ^= 1; // a picture other than the one described
    EXPECT_FALSE(reader.read(wrong, frames));
    // Handed over one at a time, the five pictures before the wrong one come
    // once each, though every way of reading the fragment is tried; a taker
    // that stops is not asked again.
    std::vector<double> taken;
    EXPECT_FALSE(reader.read(wrong, [&taken](PictureFrame&& frame) {
        taken.push_back(frame.frameTime);
        return true;
    }));
    EXPECT_EQ(taken.size(), 5u);
    EXPECT_TRUE(std::is_sorted(taken.begin(), taken.end()));
    EXPECT_EQ(std::adjacent_find(taken.begin(), taken.end()), taken.end());
    int asked = 0;
    EXPECT_FALSE(reader.read(fragments[3], [&asked](PictureFrame&&) { return ++asked > 1; }));
    EXPECT_EQ(asked, 1);
    Decision between = fragments[3];
    between.start += 0.01; // no picture at that time
    EXPECT_FALSE(reader.read(between, frames));
    EXPECT_TRUE(frames.empty());
    // The reader is still good for the next fragment.
    EXPECT_TRUE(reader.read(fragments[4], frames));
}

} // namespace

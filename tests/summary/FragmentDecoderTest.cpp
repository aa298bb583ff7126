#include "FragmentDecoder.h"
#include "Picture.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

using Fragment = std::unique_ptr<FrameBuffer>;

// What the descriptors of a frame say, exactly, with its number and time.
using Description = std::vector<double>;
Description describe(const Frame& f) {
    const Descriptors& d = f.descriptors;
    Description all(&d.histogram[0][0], &d.histogram[0][0] + 3 * 16);
    all.insert(all.end(), &d.blockMeans[0][0], &d.blockMeans[0][0] + 3 * 64);
    all.insert(all.end(), {f.frameNumber, f.frameTime});
    return all;
}

TEST(FragmentDecoder, FramesAreThePlainDecodeDescribedAsPackedPictures) {
    // The H.264 pictures are shared with the decoder, the odd-sized ones and
    // those the reader converted are copied: neither may tell in the numbers,
    // though the descriptors address chroma rows as a packed picture's.
    for (const char* file : {kH264Aac, kH264_720p, kOddSize, kYuv422}) {
        SCOPED_TRACE(file);
        VideoReader reader(testMedia(file).c_str());
        int width = 0, height = 0;
        reader.getVideoSize(&width, &height);
        std::vector<Description> expected;
        AVFrame* picture = nullptr;
        while (expected.size() < 50 && reader.getNextFrame(&picture)) {
            AVFrame* copy = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
            av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(picture->data),
                          picture->linesize, AV_PIX_FMT_YUV420P, width, height);
            Frame frame;
            frame.descriptors = Descriptors::of(copy, width, height);
            free_picture(copy);
            frame.frameNumber =
                static_cast<double>(static_cast<uint32_t>(reader.timestampToFrame(picture->pts)));
            frame.frameTime = reader.timestampToSeconds(picture->pts);
            expected.push_back(describe(frame));
        }

        FragmentDecoder decoder(testMedia(file).c_str());
        size_t index = 0;
        for (int k = 0; k < 2; ++k) {
            const Fragment fragment = decoder.decodeFragment();
            ASSERT_NE(fragment, nullptr);
            for (const Frame& frame : fragment->frames) {
                ASSERT_LT(index, expected.size());
                EXPECT_EQ(describe(frame), expected[index]) << "frame " << index;
                ++index;
            }
        }
        EXPECT_EQ(index, 50u);
    }
}

TEST(FragmentDecoder, ASeekDropsWhatWasReadAheadAndTheNextFragmentStartsThere) {
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "reading ahead" : "in step");
        FragmentDecoder decoder(testMedia(kH264Aac).c_str());
        decoder.setReadAhead(ahead);
        Fragment first{decoder.decodeFragment()};
        ASSERT_TRUE(decoder.seekFrameWKey(2.0)); // a key frame: it comes next
        Fragment fragment{decoder.decodeFragment()};
        ASSERT_NE(fragment, nullptr);
        EXPECT_EQ(fragment->first().frameNumber, 50.0);
        EXPECT_DOUBLE_EQ(fragment->first().frameTime, 2.0);
        EXPECT_EQ(fragment->count(), 25);
        // Back to the start after reaching the end.
        while (Fragment rest{decoder.decodeFragment()}) {
        }
        ASSERT_TRUE(decoder.seekFrameWKey(0.0));
        Fragment again{decoder.decodeFragment()};
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->first().frameNumber, 0.0);
        EXPECT_GE(decoder.picturesDecoded(), 100);
        // The decoder goes with frames still read ahead: they are freed with it.
    }
}

// Every fragment of a file, frame by frame; the end stays the end.
enum Ahead { Never, Always, SecondOnly };
std::vector<std::vector<Description>> describedFragments(const char* file, Ahead ahead) {
    FragmentDecoder decoder(testMedia(file).c_str());
    decoder.setReadAhead(ahead == Always);
    std::vector<std::vector<Description>> fragments;
    while (Fragment fragment{decoder.decodeFragment()}) {
        // Turned on after the first fragment, and off again after the second.
        if (ahead == SecondOnly)
            decoder.setReadAhead(fragments.empty());
        EXPECT_EQ(fragment->length, fragment->count());
        fragments.emplace_back();
        for (const Frame& frame : fragment->frames)
            fragments.back().push_back(describe(frame));
    }
    EXPECT_EQ(decoder.decodeFragment(), nullptr);
    return fragments;
}

TEST(FragmentDecoder, FragmentsOfTwentyFiveTheSameReadingAheadOrNot) {
    struct Case {
        const char* file;
        std::vector<size_t> sizes;
    };
    // No single last frame; nothing from a file that does not open.
    for (const Case& c :
         {Case{kH264Aac, {25, 25, 25, 25}}, Case{kFrames51, {25, 25}},
          Case{kMpeg4Mp3, {25, 25, 25, 22}}, Case{kSparseVideo, {4}}, Case{kMissing, {}}}) {
        const auto expected = describedFragments(c.file, Never);
        std::vector<size_t> sizes;
        for (const auto& fragment : expected)
            sizes.push_back(fragment.size());
        EXPECT_EQ(sizes, c.sizes) << c.file;
        for (const Ahead ahead : {Always, SecondOnly})
            EXPECT_TRUE(describedFragments(c.file, ahead) == expected)
                << c.file << " ahead " << ahead;
    }
}

} // namespace

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
    Description d(&f.histogram[0][0], &f.histogram[0][0] + 3 * 16);
    d.insert(d.end(), &f.blockMeans[0][0], &f.blockMeans[0][0] + 3 * 64);
    d.insert(d.end(), {f.frameNumber, f.frameTime});
    return d;
}

TEST(FragmentDecoder, FramesAreOwnCopiesOfThePlainDecodeDescribedAsPackedPictures) {
    // The H.264 pictures are shared with the decoder, the odd-sized ones and
    // those the reader converted are copied: neither the pictures nor the
    // numbers may tell, though the descriptors address chroma rows as a
    // packed picture's.
    struct Case {
        const char* file;
        bool shared;
    };
    for (const Case& c : {Case{kH264Aac, true}, Case{kH264_720p, true}, Case{kOddSize, false},
                          Case{kYuv422, false}}) {
        SCOPED_TRACE(c.file);
        VideoReader reader(testMedia(c.file).c_str());
        int width = 0, height = 0;
        reader.getVideoSize(&width, &height);
        std::vector<uint64_t> checksums;
        std::vector<Description> expected;
        AVFrame* picture = nullptr;
        while (expected.size() < 50 && reader.getNextFrame(&picture)) {
            checksums.push_back(pictureChecksum(picture, width, height));
            Frame frame;
            frame.width = width;
            frame.height = height;
            AVFrame* copy = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
            av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(picture->data),
                          picture->linesize, AV_PIX_FMT_YUV420P, width, height);
            frame.setAVFrame(copy);
            frame.frameNumber =
                static_cast<double>(static_cast<uint32_t>(reader.timestampToFrame(picture->pts)));
            frame.frameTime = reader.timestampToSeconds(picture->pts);
            frame.computeHistogram();
            expected.push_back(describe(frame));
        }

        // Compared once both fragments are made: the decoder has reused its
        // own pictures since.
        FragmentDecoder decoder(testMedia(c.file).c_str());
        Fragment fragments[2] = {Fragment{decoder.decodeFragment()},
                                 Fragment{decoder.decodeFragment()}};
        size_t index = 0;
        for (const Fragment& fragment : fragments) {
            ASSERT_NE(fragment, nullptr);
            for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
                ASSERT_LT(index, expected.size());
                EXPECT_EQ(frame->avFrame->buf[0] != nullptr, c.shared);
                EXPECT_EQ(pictureChecksum(frame->avFrame, width, height), checksums[index]);
                EXPECT_EQ(describe(*frame), expected[index]) << "frame " << index;
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
        EXPECT_EQ(fragment->first->frameNumber, 50.0);
        EXPECT_DOUBLE_EQ(fragment->first->frameTime, 2.0);
        EXPECT_EQ(fragment->count, 25);
        // Back to the start after reaching the end.
        while (Fragment rest{decoder.decodeFragment()}) {
        }
        ASSERT_TRUE(decoder.seekFrameWKey(0.0));
        Fragment again{decoder.decodeFragment()};
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(again->first->frameNumber, 0.0);
        EXPECT_GE(decoder.picturesDecoded(), 100);
        // The decoder goes with frames still read ahead: they are freed with it.
    }
}

// Every fragment of a file, frame by frame; the end stays the end.
enum Ahead { Never, Always, SecondOnly };
std::vector<std::vector<Description>> describedFragments(const char* file, Ahead ahead,
                                                         bool keepPictures) {
    FragmentDecoder decoder(testMedia(file).c_str());
    decoder.setReadAhead(ahead == Always);
    decoder.keepPictures = keepPictures;
    std::vector<std::vector<Description>> fragments;
    while (Fragment fragment{decoder.decodeFragment()}) {
        // Turned on after the first fragment, and off again after the second.
        if (ahead == SecondOnly)
            decoder.setReadAhead(fragments.empty());
        EXPECT_EQ(fragment->length, fragment->count);
        fragments.emplace_back();
        for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
            EXPECT_EQ(frame->avFrame != nullptr, keepPictures);
            fragments.back().push_back(describe(*frame));
        }
    }
    EXPECT_EQ(decoder.fragment, nullptr);
    EXPECT_EQ(decoder.decodeFragment(), nullptr);
    return fragments;
}

TEST(FragmentDecoder, FragmentsOfTwentyFiveTheSameReadingAheadOrNotWithPicturesOrWithout) {
    struct Case {
        const char* file;
        std::vector<size_t> sizes;
    };
    // No single last frame; nothing from a file that does not open.
    for (const Case& c :
         {Case{kH264Aac, {25, 25, 25, 25}}, Case{kFrames51, {25, 25}},
          Case{kMpeg4Mp3, {25, 25, 25, 22}}, Case{kSparseVideo, {4}}, Case{kMissing, {}}}) {
        const auto expected = describedFragments(c.file, Never, true);
        std::vector<size_t> sizes;
        for (const auto& fragment : expected)
            sizes.push_back(fragment.size());
        EXPECT_EQ(sizes, c.sizes) << c.file;
        for (const auto& [ahead, keep] : {std::pair{Always, true}, std::pair{Never, false},
                                          std::pair{Always, false}, std::pair{SecondOnly, true}})
            EXPECT_TRUE(describedFragments(c.file, ahead, keep) == expected)
                << c.file << " ahead " << ahead << " pictures " << keep;
    }
}

} // namespace

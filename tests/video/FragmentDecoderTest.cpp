#include "FragmentDecoder.h"
#include "Picture.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

using Fragment = std::unique_ptr<FrameBuffer>;

TEST(FragmentDecoder, SplitsIntoTwentyFivesWithoutASingleLastFrameAndStaysAtTheEnd) {
    struct Case {
        const char* file;
        std::vector<int> sizes;
    };
    for (const Case& c : {Case{kFrames51, {25, 25}}, Case{kMpeg4Mp3, {25, 25, 25, 22}},
                          Case{kSparseVideo, {4}}, Case{kMissing, {}}}) {
        SCOPED_TRACE(c.file);
        FragmentDecoder decoder(testMedia(c.file).c_str());
        std::vector<int> sizes;
        while (Fragment fragment{decoder.decodeFragment()}) {
            EXPECT_EQ(fragment->length, fragment->count);
            sizes.push_back(fragment->count);
        }
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(decoder.fragment, nullptr);
        EXPECT_EQ(decoder.decodeFragment(), nullptr);
    }
}

// What the descriptors of a frame say, exactly.
struct Description {
    double histogram[3][16];
    double blockMeans[3][64];
    double frameNumber;
    double frameTime;

    explicit Description(const Frame& f) : frameNumber(f.frameNumber), frameTime(f.frameTime) {
        std::memcpy(histogram, f.histogram, sizeof histogram);
        std::memcpy(blockMeans, f.blockMeans, sizeof blockMeans);
    }
    bool operator==(const Description& o) const {
        return std::memcmp(histogram, o.histogram, sizeof histogram) == 0 &&
               std::memcmp(blockMeans, o.blockMeans, sizeof blockMeans) == 0 &&
               frameNumber == o.frameNumber && frameTime == o.frameTime;
    }
};

void PrintTo(const Description& d, std::ostream* out) {
    *out << "frame " << d.frameNumber << " at " << d.frameTime << " s";
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
        int width = 0;
        int height = 0;
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
            expected.emplace_back(frame);
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
                EXPECT_EQ(frame->width, width);
                EXPECT_EQ(frame->height, height);
                EXPECT_EQ(pictureChecksum(frame->avFrame, width, height), checksums[index]);
                EXPECT_TRUE(Description(*frame) == expected[index]) << "frame " << index;
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
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->first->frameNumber, 0.0);
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

// Every fragment of a file, frame by frame.
std::vector<std::vector<Description>> describedFragments(const char* file, bool ahead,
                                                         bool keepPictures) {
    FragmentDecoder decoder(testMedia(file).c_str());
    decoder.setReadAhead(ahead);
    decoder.keepPictures = keepPictures;
    std::vector<std::vector<Description>> fragments;
    while (Fragment fragment{decoder.decodeFragment()}) {
        fragments.emplace_back();
        for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
            EXPECT_EQ(frame->avFrame != nullptr, keepPictures);
            fragments.back().emplace_back(*frame);
        }
    }
    EXPECT_EQ(decoder.decodeFragment(), nullptr);
    return fragments;
}

TEST(FragmentDecoder, ReadingAheadOrDroppingPicturesGivesTheSameFragments) {
    for (const char* file : {kH264Aac, kFrames51}) {
        SCOPED_TRACE(file);
        const auto expected = describedFragments(file, false, true);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(describedFragments(file, true, true), expected);
        EXPECT_EQ(describedFragments(file, false, false), expected);
        EXPECT_EQ(describedFragments(file, true, false), expected);
        // Turned on after the first fragment, and off again after the second.
        FragmentDecoder decoder(testMedia(file).c_str());
        std::vector<std::vector<Description>> mixed;
        for (int i = 0; Fragment fragment{decoder.decodeFragment()}; ++i) {
            decoder.setReadAhead(i == 0);
            mixed.emplace_back();
            for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next)
                mixed.back().emplace_back(*frame);
        }
        EXPECT_EQ(mixed, expected);
    }
}

} // namespace

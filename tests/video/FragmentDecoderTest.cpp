#include "FragmentDecoder.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct FragmentDeleter {
    void operator()(FrameBuffer* fragment) const {
        fragment->deleteAllFrames();
        delete fragment;
    }
};
using Fragment = std::unique_ptr<FrameBuffer, FragmentDeleter>;

std::vector<int> fragmentSizes(const char* file) {
    FragmentDecoder decoder(testMedia(file).c_str());
    std::vector<int> sizes;
    while (Fragment fragment{decoder.decodeFragment()})
        sizes.push_back(fragment->count);
    return sizes;
}

TEST(FragmentDecoder, SixtyFramesGiveTwentyFiveTwentyFiveAndTen) {
    EXPECT_EQ(fragmentSizes(kFrames60), (std::vector<int>{25, 25, 10}));
}

TEST(FragmentDecoder, ASingleLastFrameIsDropped) {
    EXPECT_EQ(fragmentSizes(kFrames51), (std::vector<int>{25, 25}));
}

TEST(FragmentDecoder, StaysAtTheEndOnceThere) {
    FragmentDecoder decoder(testMedia(kFrames51).c_str());
    Fragment a{decoder.decodeFragment()};
    Fragment b{decoder.decodeFragment()};
    EXPECT_EQ(decoder.decodeFragment(), nullptr);
    EXPECT_EQ(decoder.fragment, nullptr);
    EXPECT_EQ(decoder.decodeFragment(), nullptr);
}

TEST(FragmentDecoder, FragmentIsReadyForTheSegmentMeasures) {
    FragmentDecoder decoder(testMedia(kFrames60).c_str());
    Fragment fragment{decoder.decodeFragment()};
    ASSERT_NE(fragment, nullptr);
    EXPECT_EQ(decoder.fragment, fragment.get());
    EXPECT_EQ(fragment->maxFrames, 25);
    EXPECT_EQ(fragment->length, fragment->count);
    EXPECT_FALSE(fragment->variationComputed);
    EXPECT_EQ(fragment->variation, 0.0);
    for (int i = 0; i < fragment->count; ++i) {
        const Frame* frame = fragment->frameTable[i];
        EXPECT_EQ(frame->mode, AVFRAME);
        EXPECT_EQ(frame->width, 160);
        EXPECT_EQ(frame->height, 120);
        EXPECT_TRUE(frame->histogramComputed) << "frame " << i;
    }
}

TEST(FragmentDecoder, FramesCarryTheReadersTimesAndTheirOwnPictures) {
    // What a plain reader delivers, picture by picture.
    VideoReader reference(testMedia(kH264Aac).c_str());
    const std::vector<DecodedPicture> pictures = decodeAll(reference);
    ASSERT_EQ(pictures.size(), 100u);

    FragmentDecoder decoder(testMedia(kH264Aac).c_str());
    size_t index = 0;
    while (Fragment fragment{decoder.decodeFragment()}) {
        for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
            ASSERT_LT(index, pictures.size());
            const int64_t ts = pictures[index].timestamp;
            EXPECT_DOUBLE_EQ(frame->frameTime, reference.timestampToSeconds(ts));
            EXPECT_EQ(frame->frameNumber,
                      static_cast<double>(static_cast<uint32_t>(reference.timestampToFrame(ts))));
            // Each frame keeps its own copy, not the reader's reused picture.
            EXPECT_EQ(pictureChecksum(frame->avFrame, 320, 240), pictures[index].checksum)
                << "frame " << index;
            ++index;
        }
    }
    EXPECT_EQ(index, 100u);
}

TEST(FragmentDecoder, FollowsTheReaderAfterASeek) {
    FragmentDecoder decoder(testMedia(kH264Aac).c_str());
    Fragment first{decoder.decodeFragment()};
    ASSERT_TRUE(decoder.reader->seekFrameWKey(2.0)); // a key frame: it comes next
    Fragment fragment{decoder.decodeFragment()};
    ASSERT_NE(fragment, nullptr);
    EXPECT_DOUBLE_EQ(fragment->first->frameTime, 2.0);
    EXPECT_EQ(fragment->first->frameNumber, 50.0);
    EXPECT_EQ(fragment->count, 25);
}

TEST(FragmentDecoder, CopiesPicturesOfOddSizesAndOtherFormats) {
    struct Case {
        const char* file;
        int width;
        int height;
    };
    for (const Case& c : {Case{kOddSize, 321, 241}, Case{kRgb24, 160, 120}}) {
        SCOPED_TRACE(c.file);
        VideoReader reference(testMedia(c.file).c_str());
        const std::vector<DecodedPicture> pictures = decodeAll(reference);
        FragmentDecoder decoder(testMedia(c.file).c_str());
        Fragment fragment{decoder.decodeFragment()};
        ASSERT_NE(fragment, nullptr);
        ASSERT_EQ(fragment->count, 25);
        for (int i = 0; i < fragment->count; ++i) {
            const Frame* frame = fragment->frameTable[i];
            EXPECT_EQ(frame->width, c.width);
            EXPECT_EQ(frame->height, c.height);
            EXPECT_EQ(pictureChecksum(frame->avFrame, c.width, c.height), pictures[i].checksum);
        }
    }
}

TEST(FragmentDecoder, AReaderInErrorGivesNoFragment) {
    const Console console = captureConsole([] {
        FragmentDecoder decoder(testMedia(kMissing).c_str());
        EXPECT_EQ(decoder.reader->status, VideoReader::ERROR);
        EXPECT_EQ(decoder.decodeFragment(), nullptr);
    });
    EXPECT_EQ(console.err, "VideoReader::VideoReader: av_open_input_file error\n"
                           "VideoReader::getVideoSize WARNING:VideoReader Status==ERROR"
                           "VideoReader::getNextFrame Unable to operate VideoReader Status==ERROR");
}

} // namespace

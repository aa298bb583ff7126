#include "FragmentDecoder.h"
#include "Picture.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

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

TEST(FragmentDecoder, FragmentsOfTwentyFiveWithoutASingleLastFrame) {
    EXPECT_EQ(fragmentSizes(kFrames60), (std::vector<int>{25, 25, 10}));
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

// The first pictures of a file described from packed copies: the layout the
// descriptors' chroma addressing was written for.
std::vector<Description> describedFromCopies(const char* file, size_t pictures) {
    VideoReader reader(testMedia(file).c_str());
    int width = 0;
    int height = 0;
    reader.getVideoSize(&width, &height);
    std::vector<Description> described;
    AVFrame* picture = nullptr;
    while (described.size() < pictures && reader.getNextFrame(&picture)) {
        Frame frame;
        frame.width = width;
        frame.height = height;
        AVFrame* copy = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
        av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(picture->data),
                      picture->linesize, AV_PIX_FMT_YUV420P, width, height);
        frame.setAVFrame(copy);
        frame.computeHistogram();
        frame.frameNumber =
            static_cast<double>(static_cast<uint32_t>(reader.timestampToFrame(picture->pts)));
        frame.frameTime = reader.timestampToSeconds(picture->pts);
        described.emplace_back(frame);
    }
    return described;
}

// Every fragment of a file, frame by frame, as a decoder set up by `prepare`
// gives them.
std::vector<std::vector<Description>>
describedFragments(const char* file, const std::function<void(FragmentDecoder&)>& prepare) {
    FragmentDecoder decoder(testMedia(file).c_str());
    prepare(decoder);
    std::vector<std::vector<Description>> fragments;
    while (Fragment fragment{decoder.decodeFragment()}) {
        fragments.emplace_back();
        for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next)
            fragments.back().emplace_back(*frame);
    }
    // The end stays the end.
    EXPECT_EQ(decoder.decodeFragment(), nullptr);
    return fragments;
}

TEST(FragmentDecoder, DescribesEveryPictureAsAPackedCopyWouldBe) {
    // The H.264 pictures are shared with the decoder, the odd-sized ones and
    // those the reader converted are copied: the numbers must not tell.
    struct Case {
        const char* file;
        bool shared;
    };
    for (const Case& c : {Case{kH264Aac, true}, Case{kH264_720p, true}, Case{kOddSize, false},
                          Case{kYuv422, false}}) {
        SCOPED_TRACE(c.file);
        const std::vector<Description> expected = describedFromCopies(c.file, 50);
        FragmentDecoder decoder(testMedia(c.file).c_str());
        size_t index = 0;
        for (int i = 0; i < 2; ++i) {
            Fragment fragment{decoder.decodeFragment()};
            ASSERT_NE(fragment, nullptr);
            for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
                ASSERT_LT(index, expected.size());
                EXPECT_EQ(frame->avFrame->buf[0] != nullptr, c.shared);
                EXPECT_TRUE(Description(*frame) == expected[index]) << "frame " << index;
                ++index;
            }
        }
        EXPECT_EQ(index, 50u);
    }
}

TEST(FragmentDecoder, ReadingAheadGivesTheSameFragments) {
    for (const char* file : {kH264Aac, kFrames60, kFrames51, kOddSize}) {
        SCOPED_TRACE(file);
        const auto expected = describedFragments(file, [](FragmentDecoder&) {});
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(describedFragments(file, [](FragmentDecoder& d) { d.setReadAhead(true); }),
                  expected);
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

TEST(FragmentDecoder, ASeekWhileReadingAheadDropsWhatWasReadAhead) {
    FragmentDecoder decoder(testMedia(kH264Aac).c_str());
    decoder.setReadAhead(true);
    Fragment first{decoder.decodeFragment()};
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->first->frameNumber, 0.0);
    ASSERT_TRUE(decoder.seekFrameWKey(2.0)); // a key frame: it comes next
    Fragment fragment{decoder.decodeFragment()};
    ASSERT_NE(fragment, nullptr);
    EXPECT_EQ(fragment->first->frameNumber, 50.0);
    EXPECT_EQ(fragment->count, 25);
    // Back to the start after reaching the end.
    while (Fragment rest{decoder.decodeFragment()}) {
    }
    ASSERT_TRUE(decoder.seekFrameWKey(0.0));
    Fragment again{decoder.decodeFragment()};
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->first->frameNumber, 0.0);
    // Four fragments taken, and whatever was read ahead of them.
    EXPECT_GE(decoder.picturesDecoded(), 100);
    // The decoder goes with frames still read ahead: they are freed with it.
}

TEST(FragmentDecoder, WithoutPicturesTheDescriptorsStay) {
    const auto expected = describedFragments(kH264Aac, [](FragmentDecoder&) {});
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "reading ahead" : "in step");
        FragmentDecoder decoder(testMedia(kH264Aac).c_str());
        decoder.keepPictures = false;
        decoder.setReadAhead(ahead);
        size_t i = 0;
        while (Fragment fragment{decoder.decodeFragment()}) {
            ASSERT_LT(i, expected.size());
            size_t k = 0;
            for (const Frame* frame = fragment->first; frame != nullptr; frame = frame->next) {
                EXPECT_EQ(frame->mode, AVFRAME);
                EXPECT_EQ(frame->avFrame, nullptr);
                EXPECT_TRUE(frame->histogramComputed);
                EXPECT_TRUE(Description(*frame) == expected[i][k]) << "fragment " << i;
                ++k;
            }
            ++i;
        }
        EXPECT_EQ(i, expected.size());
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

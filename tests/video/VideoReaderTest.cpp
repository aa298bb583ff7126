#include "VideoReader.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr const char* kOpenError = "VideoReader::VideoReader: av_open_input_file error\n";

// --- Opening -----------------------------------------------------------------

struct Expected {
    const char* file;
    int width;
    int height;
    int videoStream;
    int audioStream;
};

class OpenedFile : public testing::TestWithParam<Expected> {};

TEST_P(OpenedFile, ChoosesTheLowestStreamsAndReportsTheirSize) {
    const Expected& e = GetParam();
    VideoReader reader(testMedia(e.file).c_str());
    ASSERT_EQ(reader.status, VideoReader::OK);
    EXPECT_EQ(reader.videoStream, e.videoStream);
    EXPECT_EQ(reader.audioStream, e.audioStream);
    int width = 0;
    int height = 0;
    reader.getVideoSize(&width, &height);
    EXPECT_EQ(width, e.width);
    EXPECT_EQ(height, e.height);
    EXPECT_GT(reader.getVideoLength(), 0);
    EXPECT_EQ(reader.frameCount, 0);
    EXPECT_EQ(reader.audioSampleCount, 0);
    EXPECT_STREQ(reader.audioBuffer->name, "AUDIO BUFFER");
    EXPECT_STREQ(reader.videoBuffer->name, "VIDEO BUFFER");
    if (e.audioStream < 0) {
        EXPECT_EQ(reader.audioSamples, nullptr);
        EXPECT_EQ(reader.audioSamplesSize, 0);
    } else {
        EXPECT_NE(reader.audioSamples, nullptr);
        EXPECT_EQ(reader.audioSamplesSize, 192000);
    }
}

TEST_P(OpenedFile, HandsOutYuv420PicturesAtTheStreamSize) {
    const Expected& e = GetParam();
    VideoReader reader(testMedia(e.file).c_str());
    ASSERT_EQ(reader.status, VideoReader::OK);
    AVFrame* picture = nullptr;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.getNextFrame(&picture));
        EXPECT_EQ(picture->format, AV_PIX_FMT_YUV420P);
        EXPECT_EQ(picture->width, e.width);
        EXPECT_EQ(picture->height, e.height);
        EXPECT_GE(picture->linesize[0], e.width);
        EXPECT_GE(picture->linesize[1], (e.width + 1) / 2);
        EXPECT_GE(picture->linesize[2], (e.width + 1) / 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, OpenedFile,
    testing::Values(Expected{kH264Aac, 320, 240, 0, 1}, Expected{kMpeg4Mp3, 320, 240, 0, 1},
                    Expected{kVp9Opus, 320, 240, 0, 1}, Expected{kAudioFirst, 256, 144, 1, 0},
                    Expected{kVideoOnly, 320, 240, 0, -1}, Expected{kPcmAudio, 320, 240, 0, 1},
                    Expected{kRgb24, 160, 120, 0, -1}, Expected{kPal8, 160, 120, 0, -1},
                    Expected{kYuv422, 320, 240, 0, -1}, Expected{kYuv444, 320, 240, 0, -1},
                    Expected{kYuv420p10, 320, 240, 0, -1}, Expected{kOddSize, 321, 241, 0, -1},
                    Expected{kTwoVideo, 320, 240, 0, 2}, Expected{kEmptyPackets, 160, 120, 0, -1}),
    [](const testing::TestParamInfo<Expected>& info) {
        std::string label = info.param.file;
        for (char& c : label)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return label;
    });

// --- Time conversions ------------------------------------------------------------

TEST(VideoReaderTime, ConvertsInTheVideoStreamsTimeBase) {
    VideoReader mp4(testMedia(kH264Aac).c_str()); // 1/12800 s, 512 per frame
    EXPECT_DOUBLE_EQ(mp4.timestampToSeconds(12800), 1.0);
    EXPECT_DOUBLE_EQ(mp4.timestampToSeconds(-512), -0.04);
    EXPECT_EQ(mp4.timestampToFrame(7 * 512), 7);
    EXPECT_EQ(mp4.timestampToFrame(7 * 512 - 1), 6); // truncated, not rounded
    EXPECT_EQ(mp4.getVideoLength(), 4 * 12800);

    VideoReader avi(testMedia(kMpeg4Mp3).c_str()); // 1/25 s
    EXPECT_EQ(avi.timestampToFrame(7), 7);
    EXPECT_DOUBLE_EQ(avi.timestampToSeconds(50), 2.0);

    // The audio stream comes first: its time base (1/48000) must not be used.
    VideoReader audioFirst(testMedia(kAudioFirst).c_str());
    EXPECT_DOUBLE_EQ(audioFirst.timestampToSeconds(1000), 1.0); // Matroska: 1/1000 s
    EXPECT_EQ(audioFirst.timestampToFrame(280), 7);
    EXPECT_NEAR(audioFirst.timestampToSeconds(audioFirst.getVideoLength()), 3.0, 0.1);
}

TEST(VideoReaderTime, LengthFallsBackToTheContainerWhenTheStreamHasNone) {
    VideoReader reader(testMedia(kVp9Opus).c_str());
    ASSERT_EQ(reader.status, VideoReader::OK);
    ASSERT_EQ(reader.pFormatCtx->streams[reader.videoStream]->duration, AV_NOPTS_VALUE);
    EXPECT_NEAR(reader.timestampToSeconds(reader.getVideoLength()), 3.0, 0.1);
}

TEST(VideoReaderTime, LowBitsOfALargeFrameNumber) {
    VideoReader avi(testMedia(kMpeg4Mp3).c_str());
    EXPECT_EQ(static_cast<uint32_t>(avi.timestampToFrame(0x100000005ll)), 5u);
}

// --- Decoding ----------------------------------------------------------------------

TEST(VideoReaderDecode, TimestampsFollowTheCompletingPacketsOneFrameApart) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    ASSERT_EQ(pictures.size(), 100u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        // The tail comes from draining the decoder and still steps one frame.
        EXPECT_EQ(pictures[i].timestamp, static_cast<int64_t>(i) * 512) << "picture " << i;
        EXPECT_EQ(pictures[i].keyFrame, i % 25 == 0) << "picture " << i;
    }
    EXPECT_EQ(reader.frameCount, 100);
}

TEST(VideoReaderDecode, EmptyPacketsDoNotEndTheVideo) {
    VideoReader withEmpty(testMedia(kEmptyPackets).c_str());
    VideoReader without(testMedia(kDroppedFrames).c_str());
    const std::vector<DecodedPicture> a = decodeAll(withEmpty);
    const std::vector<DecodedPicture> b = decodeAll(without);
    ASSERT_EQ(a.size(), 47u);
    ASSERT_EQ(b.size(), 47u);
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i].checksum, b[i].checksum) << "picture " << i;
}

// Mean absolute difference of one plane of two pictures of the same size.
double planeDifference(const AVFrame* a, const AVFrame* b, int plane, int width, int height) {
    const int w = plane == 0 ? width : (width + 1) / 2;
    const int h = plane == 0 ? height : (height + 1) / 2;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            sum += std::abs(a->data[plane][y * a->linesize[plane] + x] -
                            b->data[plane][y * b->linesize[plane] + x]);
    return sum / (w * h);
}

// The same test pattern coded in another pixel format must come out as the
// same 4:2:0 picture, up to coding loss.
struct Conversion {
    const char* file;
    const char* reference;
    double tolerance;
};

class ConvertedPicture : public testing::TestWithParam<Conversion> {};

TEST_P(ConvertedPicture, MatchesTheSamePictureCodedIn420) {
    const Conversion& c = GetParam();
    VideoReader converted(testMedia(c.file).c_str());
    VideoReader reference(testMedia(c.reference).c_str());
    int width = 0;
    int height = 0;
    reference.getVideoSize(&width, &height);
    AVFrame* a = nullptr;
    AVFrame* b = nullptr;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(converted.getNextFrame(&a));
        ASSERT_TRUE(reference.getNextFrame(&b));
        for (int plane = 0; plane < 3; ++plane)
            EXPECT_LT(planeDifference(a, b, plane, width, height), c.tolerance)
                << "picture " << i << " plane " << plane;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixture, ConvertedPicture,
                         testing::Values(Conversion{kYuv422, kVideoOnly, 3.0},
                                         Conversion{kYuv444, kVideoOnly, 4.0},
                                         Conversion{kYuv420p10, kVideoOnly, 3.0},
                                         Conversion{kRgb24, kFrames60, 3.0},
                                         Conversion{kPal8, kFrames60, 8.0}));

// --- Audio -----------------------------------------------------------------------------

TEST(VideoReaderAudio, FirstPictureGathersWholePacketsUpToItsEnd) {
    // 25 fps, mono MP3 at 48 kHz in 1152-sample frames: 1920 samples end the
    // first picture, so two packets are decoded.
    VideoReader reader(testMedia(kMpeg4Mp3).c_str());
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = -1;
    int count = -1;
    ASSERT_TRUE(reader.getNextFrame(&picture, &samples, &value, &count));
    EXPECT_EQ(samples, reader.audioSamples.get());
    EXPECT_EQ(count, 2304);
    EXPECT_EQ(reader.audioSampleCount, 2304);
    EXPECT_GT(value, 0);
}

TEST(VideoReaderAudio, KeepsPaceWithThePictures) {
    for (const char* file : {kMpeg4Mp3, kH264Aac, kPcmAudio, kVp9Opus}) {
        SCOPED_TRACE(file);
        VideoReader reader(testMedia(file).c_str());
        const int rate = reader.pCodecCtxAudio->sample_rate;
        const int channels = reader.pCodecCtxAudio->ch_layout.nb_channels;
        AVFrame* picture = nullptr;
        int16_t* samples = nullptr;
        int value = 0;
        int count = 0;
        int total = 0;
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(reader.getNextFrame(&picture, &samples, &value, &count));
            total += count;
            const double end = static_cast<double>(reader.frameCount) * rate / 25.0;
            // At least the audio up to the picture's end, less than one second more.
            EXPECT_GE(reader.audioSampleCount, end) << "picture " << i;
            EXPECT_LT(reader.audioSampleCount, end + rate) << "picture " << i;
            EXPECT_LE(count * channels, reader.audioSamplesSize);
        }
        EXPECT_EQ(total, reader.audioSampleCount);
    }
}

TEST(VideoReaderAudio, NoSamplesOutputDropsTheQueuedAudio) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    AVFrame* picture = nullptr;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(reader.getNextFrame(&picture));
        EXPECT_TRUE(reader.audioBuffer->isEmpty());
    }
    EXPECT_GT(reader.audioBuffer->packetsIn, 0);
    EXPECT_EQ(reader.audioSampleCount, 0);
}

// The first picture of a reader that has no sound to give: the audio
// outputs say there is none, and no audio packet was read.
DecodedPicture firstPictureWithoutSound(VideoReader& reader) {
    int width = 0;
    int height = 0;
    reader.getVideoSize(&width, &height);
    AVFrame* picture = nullptr;
    int16_t* samples = reinterpret_cast<int16_t*>(&reader);
    int value = -1;
    int count = -1;
    EXPECT_TRUE(reader.getNextFrame(&picture, &samples, &value, &count));
    EXPECT_EQ(samples, nullptr);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(reader.audioBuffer->packetsIn, 0);
    if (picture == nullptr)
        return {};
    return {picture->pts, picture->key_frame != 0, pictureChecksum(picture, width, height)};
}

TEST(VideoReaderAudio, VideoWithoutAudioGivesNoSamples) {
    VideoReader reader(testMedia(kVideoOnly).c_str());
    firstPictureWithoutSound(reader);
}

TEST(VideoReaderOptions, WithoutAudioOrWithOneThreadThePicturesAreTheSame) {
    VideoReader plain(testMedia(kH264Aac).c_str());
    const std::vector<DecodedPicture> expected = decodeAll(plain);
    ASSERT_EQ(expected.size(), 100u);

    ReaderOptions options;
    options.audio = false;
    options.decoderThreads = 1;
    VideoReader reader(testMedia(kH264Aac).c_str(), options);
    ASSERT_EQ(reader.status, VideoReader::OK);
    EXPECT_EQ(reader.audioStream, -1);
    std::vector<DecodedPicture> pictures{firstPictureWithoutSound(reader)};
    for (const DecodedPicture& p : decodeAll(reader))
        pictures.push_back(p);
    ASSERT_EQ(pictures.size(), expected.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].timestamp, expected[i].timestamp) << "picture " << i;
        EXPECT_EQ(pictures[i].checksum, expected[i].checksum) << "picture " << i;
    }
    // The audio packets were never read, so none waits in the buffer.
    EXPECT_EQ(reader.audioBuffer->packetsIn, 0);
}

TEST(VideoReaderAudio, NeverOverfillsTheSampleBuffer) {
    // One second of six-channel audio per picture: 288000 samples.
    VideoReader reader(testMedia(kSparseVideo).c_str());
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = 0;
    int count = 0;
    bool ok = false;
    const Console console =
        captureConsole([&] { ok = reader.getNextFrame(&picture, &samples, &value, &count); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(console.out, "\nWARNING!Full audio buffer! Possible audio lost audio samples");
    EXPECT_GT(count, 0);
    EXPECT_LE(count * 6, 192000);
}

// --- Seeking -----------------------------------------------------------------------------

class Seeking : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        VideoReader reader(testMedia(GetParam()).c_str());
        ASSERT_EQ(reader.status, VideoReader::OK);
        pictures = decodeAll(reader);
        ASSERT_GT(pictures.size(), 60u);
    }

    // Index of the picture a seek to `seconds` may land on (the next
    // getNextFrame returns it): the key frame the demuxer found, when its
    // picture is already at or past the target; otherwise the picture after
    // the first one at or past the target. Which key frame the demuxer finds
    // depends on the packets' timestamps, so both are accepted.
    std::vector<size_t> allowedLandings(VideoReader& reader, double seconds) const {
        const AVRational base = reader.pFormatCtx->streams[reader.videoStream]->time_base;
        const auto target = static_cast<int64_t>(seconds * base.den / base.num);
        size_t reached = 0;
        while (pictures[reached].timestamp < target)
            ++reached;
        std::vector<size_t> allowed{reached + 1};
        for (size_t i = reached; i < pictures.size() && i <= reached + 3; ++i)
            if (pictures[i].keyFrame) {
                allowed.push_back(i);
                break;
            }
        return allowed;
    }

    size_t indexOf(int64_t timestamp) const {
        for (size_t i = 0; i < pictures.size(); ++i)
            if (pictures[i].timestamp == timestamp)
                return i;
        return pictures.size();
    }

    std::vector<DecodedPicture> pictures;
};

TEST_P(Seeking, LandsWhereASequentialDecodeSays) {
    VideoReader reader(testMedia(GetParam()).c_str());
    int width = 0;
    int height = 0;
    reader.getVideoSize(&width, &height);
    AVFrame* picture = nullptr;
    for (const double seconds : {1.5, 0.0, 2.0, 0.5, 1.0, 2.3}) {
        SCOPED_TRACE(seconds);
        ASSERT_TRUE(reader.seekFrameWKey(seconds));
        ASSERT_TRUE(reader.getNextFrame(&picture));
        const size_t landed = indexOf(picture->pts);
        ASSERT_LT(landed + 1, pictures.size());
        EXPECT_THAT(allowedLandings(reader, seconds), testing::Contains(landed));
        // Decoded from the key frame: the very same picture, then the next.
        EXPECT_EQ(pictureChecksum(picture, width, height), pictures[landed].checksum);
        ASSERT_TRUE(reader.getNextFrame(&picture));
        EXPECT_EQ(picture->pts, pictures[landed + 1].timestamp);
        EXPECT_EQ(pictureChecksum(picture, width, height), pictures[landed + 1].checksum);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixture, Seeking,
                         testing::Values(kH264Aac, kMpeg4Mp3, kVp9Opus, kAudioFirst, kScenes),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, 4) +
                                    std::to_string(info.index);
                         });

TEST(VideoReaderSeek, InsideAGroupDecodesForwardPastTheTarget) {
    // Key frames at 0, 1, 2 and 3 s; 1.5 s is picture 37.5: the seek lands on
    // the key frame at 1 s, consumes pictures up to 38, and 39 comes next.
    VideoReader reader(testMedia(kH264Aac).c_str());
    AVFrame* picture = nullptr;
    ASSERT_TRUE(reader.getNextFrame(&picture));
    const int frames = reader.frameCount;
    const int samples = reader.audioSampleCount;
    ASSERT_TRUE(reader.seekFrameWKey(1.5));
    EXPECT_EQ(reader.frameCount, frames);
    EXPECT_EQ(reader.audioSampleCount, samples);
    EXPECT_TRUE(reader.audioBuffer->isEmpty());
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, 39 * 512);
}

TEST(VideoReaderSeek, ToAKeyFrameReturnsTheKeyFrameNext) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    AVFrame* picture = nullptr;
    for (int i = 0; i < 30; ++i)
        ASSERT_TRUE(reader.getNextFrame(&picture));
    ASSERT_TRUE(reader.seekFrameWKey(0.0));
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, 0);
    EXPECT_TRUE(picture->key_frame);
    ASSERT_TRUE(reader.seekFrameWKey(2.0));
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, 50 * 512);
}

TEST(VideoReaderSeek, BeyondTheEndFailsOnceTheBudgetIsSpent) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    bool ok = true;
    const Console console = captureConsole([&] { ok = reader.seekFrameWKey(100.0); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(console.out, "\nVideoReader::seekFrameWKey Seek fail. (2)");
    // A later seek repositions the reader.
    ASSERT_TRUE(reader.seekFrameWKey(0.0));
    AVFrame* picture = nullptr;
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, 0);
}

TEST(VideoReaderSeek, SeekTimestampStartsCleanAtAKeyFrame) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    AVFrame* picture = nullptr;
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_TRUE(reader.seekTimestamp(60 * 512));
    EXPECT_TRUE(reader.videoBuffer->isEmpty());
    EXPECT_TRUE(reader.audioBuffer->isEmpty());
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, 50 * 512);
    EXPECT_TRUE(picture->key_frame);
}

TEST(VideoReaderSeek, DecodeNextPictureTellsKeyFrames) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    int64_t ts = -1;
    EXPECT_TRUE(reader.decodeNextPicture(&ts));
    EXPECT_EQ(ts, 0);
    EXPECT_FALSE(reader.decodeNextPicture(&ts));
    EXPECT_EQ(ts, 512);
    EXPECT_EQ(reader.frameCount, 0);
    // At the end it fails and leaves the timestamp alone.
    while (reader.decodeNextPicture(&ts) || ts < 99 * 512) {
    }
    EXPECT_EQ(ts, 99 * 512);
    EXPECT_FALSE(reader.decodeNextPicture(&ts));
    EXPECT_EQ(ts, 99 * 512);
}

// --- Bad input -------------------------------------------------------------------------------

class BadFile : public testing::TestWithParam<const char*> {};

// Opens and closes a reader on `path`; it must fail to open, saying so once.
void expectOpenFailure(const std::string& path) {
    int status = -1;
    const Console console = captureConsole([&] {
        VideoReader reader(path.c_str());
        status = reader.status;
    });
    EXPECT_EQ(status, VideoReader::ERROR);
    EXPECT_EQ(console.err, kOpenError);
    EXPECT_EQ(console.out, "");
}

TEST_P(BadFile, FailsToOpenWithOneMessage) {
    expectOpenFailure(testMedia(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Fixture, BadFile, testing::Values(kEmpty, kText, kMissing));

TEST(VideoReaderErrors, AnAudioStreamWithoutDecoderFailsTheWholeReader) {
    int status = -1;
    const Console console = captureConsole([&] {
        VideoReader reader(testMedia(kNoAudioDecoder).c_str());
        status = reader.status;
    });
    EXPECT_EQ(status, VideoReader::ERROR);
    EXPECT_EQ(console.err, "VideoReader::VideoReader: pCodecAudio == NULL\n");
}

TEST(VideoReaderErrors, AnErrorReaderRefusesToWork) {
    VideoReader reader(testMedia(kMissing).c_str());
    ASSERT_EQ(reader.status, VideoReader::ERROR);
    AVFrame* picture = nullptr;
    bool decoded = true;
    int width = -1;
    int height = -1;
    AVPacket packet{};
    packet.size = 5;
    Console console = captureConsole([&] { decoded = reader.getNextFrame(&picture); });
    EXPECT_FALSE(decoded);
    EXPECT_EQ(picture, nullptr);
    EXPECT_EQ(console.err, "VideoReader::getNextFrame Unable to operate VideoReader Status==ERROR");

    console = captureConsole([&] { reader.getVideoSize(&width, &height); });
    EXPECT_EQ(console.err, "VideoReader::getVideoSize WARNING:VideoReader Status==ERROR");
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);

    console = captureConsole([&] { reader.getNextVideoPacket(&packet); });
    EXPECT_EQ(console.err, "VideoReader::getNextVideoPacket WARNING:VideoReader Status==ERROR");
    EXPECT_EQ(packet.data, nullptr);
    EXPECT_EQ(packet.size, 0);

    EXPECT_FALSE(reader.seekFrameWKey(1.0));
    EXPECT_EQ(reader.getVideoLength(), 0);
}

// The path of the fixture file kH264Aac, spelled with `length` characters.
std::string pathOfLength(size_t length) {
    const std::string path = testMedia(kH264Aac);
    const size_t slash = path.rfind('/');
    std::string head = path.substr(0, slash + 1);
    const std::string name = path.substr(slash + 1);
    size_t pad = length - head.size() - name.size();
    if (pad % 2 == 1) {
        head += '/';
        --pad;
    }
    for (size_t i = 0; i < pad / 2; ++i)
        head += "./";
    return head + name;
}

TEST(VideoReaderErrors, RefusesAPathTooLongToKeep) {
    // A real file behind 1000 characters must not be opened under a
    // truncated name either.
    const std::string tooLong = pathOfLength(1000);
    ASSERT_EQ(tooLong.size(), 1000u);
    expectOpenFailure(tooLong);

    const std::string longest = pathOfLength(999);
    VideoReader reader(longest.c_str());
    EXPECT_EQ(reader.status, VideoReader::OK);
    EXPECT_EQ(std::string(reader.fileName), longest);
}

TEST(VideoReaderErrors, TruncatedFileDecodesWhatItHolds) {
    VideoReader reader(testMedia(kTruncated).c_str());
    ASSERT_EQ(reader.status, VideoReader::OK);
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    EXPECT_GT(pictures.size(), 10u);
    EXPECT_LT(pictures.size(), 100u);
}

TEST(VideoReaderErrors, NoiseAfterAValidHeaderDoesNotCrash) {
    int status = -1;
    captureConsole([&] {
        VideoReader reader(testMedia(kGarbageAfterHeader).c_str());
        status = reader.status;
        if (status == VideoReader::OK) {
            decodeAll(reader);
            reader.seekFrameWKey(1.0);
            decodeAll(reader);
        }
    });
    EXPECT_TRUE(status == VideoReader::OK || status == VideoReader::ERROR);
}

} // namespace

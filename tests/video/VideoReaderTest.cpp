#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>
#include <string>

namespace {

std::string fileLabel(const char* file) {
    std::string label = file;
    std::replace_if(label.begin(), label.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return label;
}

// --- Whole files ------------------------------------------------------------------

struct Expected {
    const char* file;
    int width;
    int height;
    int videoStream;
    int audioStream;
    size_t pictures;
};

class WholeFile : public testing::TestWithParam<Expected> {};

TEST_P(WholeFile, ChoosesTheLowestStreamsAndDeliversEveryPictureOnce) {
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
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    EXPECT_EQ(pictures.size(), e.pictures);
    EXPECT_EQ(reader.frameCount, static_cast<int>(e.pictures));
    for (size_t i = 1; i < pictures.size(); ++i)
        ASSERT_GT(pictures[i].timestamp, pictures[i - 1].timestamp) << "picture " << i;
    AVFrame* picture = nullptr;
    EXPECT_FALSE(reader.getNextFrame(&picture)); // the end stays the end
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, WholeFile,
    testing::Values(Expected{kH264Aac, 320, 240, 0, 1, 100},
                    Expected{kMpeg4Mp3, 320, 240, 0, 1, 97}, // three frames dropped
                    Expected{kVp9Opus, 320, 240, 0, 1, 75}, Expected{kAudioFirst, 256, 144, 1, 0, 75},
                    Expected{kVideoOnly, 320, 240, 0, -1, 75}, Expected{kPcmAudio, 320, 240, 0, 1, 75},
                    Expected{kYuv422, 320, 240, 0, -1, 50}, Expected{kOddSize, 321, 241, 0, -1, 50},
                    Expected{kTwoVideo, 320, 240, 0, 2, 50},
                    Expected{kSparseVideo, 160, 120, 0, 1, 4}),
    [](const testing::TestParamInfo<Expected>& info) { return fileLabel(info.param.file); });

TEST(VideoReaderDecode, TimestampsStepOneFrameThroughTheDrainedTail) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    ASSERT_EQ(pictures.size(), 100u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].timestamp, static_cast<int64_t>(i) * 512) << "picture " << i;
        EXPECT_EQ(pictures[i].keyFrame, i % 25 == 0) << "picture " << i;
    }
}

TEST(VideoReaderDecode, A422PictureComesOutAsThe420CodingOfTheSamePattern) {
    VideoReader converted(testMedia(kYuv422).c_str());
    VideoReader reference(testMedia(kVideoOnly).c_str());
    AVFrame* a = nullptr;
    AVFrame* b = nullptr;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(converted.getNextFrame(&a));
        ASSERT_TRUE(reference.getNextFrame(&b));
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane == 0 ? 320 : 160;
            const int h = plane == 0 ? 240 : 120;
            double sum = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    sum += std::abs(a->data[plane][y * a->linesize[plane] + x] -
                                    b->data[plane][y * b->linesize[plane] + x]);
            EXPECT_LT(sum / (w * h), 3.0) << "picture " << i << " plane " << plane;
        }
    }
}

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
    EXPECT_EQ(static_cast<uint32_t>(avi.timestampToFrame(0x100000005ll)), 5u); // low 32 bits

    // The audio stream comes first: its time base (1/48000) must not be used.
    VideoReader audioFirst(testMedia(kAudioFirst).c_str());
    EXPECT_DOUBLE_EQ(audioFirst.timestampToSeconds(1000), 1.0); // Matroska: 1/1000 s
    EXPECT_EQ(audioFirst.timestampToFrame(280), 7);
    EXPECT_NEAR(audioFirst.timestampToSeconds(audioFirst.getVideoLength()), 3.0, 0.1);

    // The stream carries no duration: the container's is used.
    VideoReader webm(testMedia(kVp9Opus).c_str());
    ASSERT_EQ(webm.pFormatCtx->streams[webm.videoStream]->duration, AV_NOPTS_VALUE);
    EXPECT_NEAR(webm.timestampToSeconds(webm.getVideoLength()), 3.0, 0.1);
}

// --- Audio ------------------------------------------------------------------------------

TEST(VideoReaderAudio, KeepsPaceWithThePicturesWithinTheSampleBuffer) {
    struct Sound {
        const char* file;
        int firstCount; // samples with the first picture; -1: not pinned
        bool fits;      // the audio up to each picture fits in the sample buffer
    };
    // MP3 in 1152-sample frames at 48 kHz: the first picture ends at 1920, so
    // two whole packets come with it.
    for (const Sound& s : {Sound{kMpeg4Mp3, 2304, true}, Sound{kH264Aac, -1, true},
                           Sound{kPcmAudio, -1, true}, Sound{kVp9Opus, -1, true},
                           Sound{kSparseVideo, -1, false}}) {
        SCOPED_TRACE(s.file);
        VideoReader reader(testMedia(s.file).c_str());
        const int rate = reader.audioSampleRate();
        const int channels = reader.audioChannelCount();
        AVFrame* picture = nullptr;
        int16_t* samples = nullptr;
        int value = 0;
        int count = 0;
        int total = 0;
        for (int i = 0; i < 50 && reader.getNextFrame(&picture, &samples, &value, &count); ++i) {
            EXPECT_EQ(samples, reader.audioSamples.get());
            EXPECT_LE(count * channels, reader.audioSamplesSize);
            if (i == 0) {
                EXPECT_GT(value, 0);
                if (s.firstCount >= 0) {
                    EXPECT_EQ(count, s.firstCount);
                }
            }
            total += count;
            // At least the audio up to the picture's end, less than one second more.
            const double end = static_cast<double>(reader.frameCount) * rate / 25.0;
            if (s.fits) {
                EXPECT_GE(reader.audioSampleCount, end) << "picture " << i;
                EXPECT_LT(reader.audioSampleCount, end + rate) << "picture " << i;
            }
        }
        EXPECT_GT(total, 0);
        if (s.fits) {
            EXPECT_EQ(total, reader.audioSampleCount);
        }
    }
}

// The first picture of a reader that has no sound to give.
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
    if (picture == nullptr)
        return {};
    return {picture->pts, picture->key_frame != 0, pictureChecksum(picture, width, height)};
}

TEST(VideoReaderAudio, WithoutSoundThePicturesStayTheSame) {
    VideoReader videoOnly(testMedia(kVideoOnly).c_str());
    firstPictureWithoutSound(videoOnly);

    // Samples not asked for: the audio read meanwhile is dropped, not queued.
    VideoReader quiet(testMedia(kH264Aac).c_str());
    AVFrame* picture = nullptr;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(quiet.getNextFrame(&picture));
        EXPECT_TRUE(quiet.audioBuffer->isEmpty());
    }
    EXPECT_EQ(quiet.audioSampleCount, 0);

    VideoReader plain(testMedia(kH264Aac).c_str());
    const std::vector<DecodedPicture> expected = decodeAll(plain);
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
}

// --- Seeking -------------------------------------------------------------------------------

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
    int16_t* samples = nullptr;
    int value = 0;
    int count = 0;
    for (const double seconds : {1.5, 0.0, 2.0, 0.5, 1.0, 2.3}) {
        SCOPED_TRACE(seconds);
        const int frames = reader.frameCount;
        ASSERT_TRUE(reader.seekFrameWKey(seconds));
        // Neither the picture count nor sound from before the seek goes on.
        EXPECT_EQ(reader.frameCount, frames);
        EXPECT_TRUE(reader.audioBuffer->isEmpty());
        ASSERT_TRUE(reader.getNextFrame(&picture, &samples, &value, &count));
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
                         testing::Values(kH264Aac, kMpeg4Mp3, kVp9Opus, kAudioFirst),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return fileLabel(info.param);
                         });

TEST(VideoReaderSeek, BeyondTheEndFailsAndALaterSeekRepositions) {
    VideoReader reader(testMedia(kH264Aac).c_str());
    EXPECT_FALSE(reader.seekFrameWKey(100.0));
    ASSERT_TRUE(reader.seekFrameWKey(0.0));
    AVFrame* picture = nullptr;
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, 0);
}

// --- Bad input -------------------------------------------------------------------------------

TEST(VideoReaderErrors, BadFilesAreRefusedWithOneMessageOrDecodeWhatTheyHold) {
    enum Opens { No, Yes, Either };
    struct Bad {
        const char* file;
        Opens opens;
        size_t fewest;
        size_t most;
    };
    // An audio stream without a decoder refuses the file, telling the player
    // it may still play the pictures.
    for (const Bad& b : {Bad{kEmpty, No, 0, 0}, Bad{kText, No, 0, 0}, Bad{kMissing, No, 0, 0},
                         Bad{kNoAudioDecoder, No, 0, 0}, Bad{kTruncated, Yes, 10, 99},
                         Bad{kGarbageAfterHeader, Either, 0, 50}}) {
        SCOPED_TRACE(b.file);
        testing::internal::CaptureStderr();
        auto reader = std::make_unique<VideoReader>(testMedia(b.file).c_str());
        const std::string said = testing::internal::GetCapturedStderr();
        if (b.opens != Either) {
            EXPECT_EQ(reader->status == VideoReader::OK, b.opens == Yes);
        }
        EXPECT_EQ(reader->audioRefused, b.file == kNoAudioDecoder);
        if (reader->status != VideoReader::OK) {
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            // A refused reader does no work, and says so rather than crash.
            AVFrame* picture = nullptr;
            int width = -1;
            int height = -1;
            EXPECT_FALSE(reader->getNextFrame(&picture));
            EXPECT_EQ(picture, nullptr);
            EXPECT_FALSE(reader->seekFrameWKey(1.0));
            reader->getVideoSize(&width, &height);
            reader->timestampToSeconds(reader->getVideoLength());
            continue;
        }
        const size_t pictures = decodeAll(*reader).size();
        EXPECT_GE(pictures, b.fewest);
        EXPECT_LE(pictures, b.most);
        reader->seekFrameWKey(1.0);
        decodeAll(*reader);
    }
}

TEST(VideoReaderErrors, RefusesAPathTooLongToKeep) {
    // kH264Aac's path, padded with "./" to the given length.
    const auto pathOfLength = [](size_t length) {
        const std::string path = testMedia(kH264Aac);
        const size_t slash = path.rfind('/');
        std::string head = path.substr(0, slash + 1);
        size_t pad = length - path.size();
        if (pad % 2 == 1) {
            head += '/';
            --pad;
        }
        for (size_t i = 0; i < pad / 2; ++i)
            head += "./";
        return head + path.substr(slash + 1);
    };
    // A real file behind 1000 characters must not be opened under a
    // truncated name either.
    const std::string tooLong = pathOfLength(1000);
    ASSERT_EQ(tooLong.size(), 1000u);
    EXPECT_EQ(VideoReader(tooLong.c_str()).status, VideoReader::ERROR);
    const std::string longest = pathOfLength(999);
    VideoReader reader(longest.c_str());
    EXPECT_EQ(reader.status, VideoReader::OK);
    EXPECT_EQ(std::string(reader.fileName), longest);
}

} // namespace

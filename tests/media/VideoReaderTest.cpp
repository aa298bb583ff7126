#include "Demuxer.h"
#include "EngineFailure.h"
#include "Picture.h"
#include "Resampler.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/defs.h>
#include <libavutil/mem.h>
}

namespace {

struct Expected {
    const char* file;
    int width, height, videoStream, audioStream;
    size_t pictures;
    int64_t step = 0; // when set, every picture one step on and a key frame every 25
    ReaderOptions options = {};
};

void PrintTo(const Expected& e, std::ostream* out) {
    *out << e.file;
}

class WholeFile : public testing::TestWithParam<Expected> {};

TEST_P(WholeFile, ChoosesTheLowestStreamsAndDeliversEveryPictureOnceInOrder) {
    const Expected& e = GetParam();
    VideoReader reader(testMedia(e.file).c_str(), e.options);
    ASSERT_EQ(reader.status(), VideoReader::OK);
    EXPECT_EQ(reader.videoStreamIndex(), e.videoStream);
    EXPECT_EQ(reader.audioStreamIndex(), e.audioStream);
    int width = 0, height = 0;
    reader.getVideoSize(&width, &height);
    EXPECT_EQ(width, e.width);
    EXPECT_EQ(height, e.height);
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    EXPECT_EQ(pictures.size(), e.pictures);
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_TRUE(i == 0 || pictures[i].timestamp > pictures[i - 1].timestamp) << "picture " << i;
        // The tail comes from draining the decoder and still steps one frame.
        if (e.step > 0) {
            EXPECT_EQ(pictures[i].timestamp, static_cast<int64_t>(i) * e.step) << "picture " << i;
            EXPECT_EQ(pictures[i].keyFrame, i % 25 == 0) << "picture " << i;
        }
    }
    AVFrame* picture = nullptr;
    EXPECT_FALSE(reader.getNextFrame(&picture)); // the end stays the end

    // Decoded into buffers of their own, they are the same pictures.
    ReaderOptions own = e.options;
    own.ownBuffers = true;
    VideoReader ownReader(testMedia(e.file).c_str(), own);
    const std::vector<DecodedPicture> owned = decodeAll(ownReader);
    ASSERT_EQ(owned.size(), pictures.size());
    for (size_t i = 0; i < owned.size(); ++i)
        EXPECT_EQ(owned[i].checksum, pictures[i].checksum) << "picture " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, WholeFile,
    testing::Values(
        Expected{kH264Aac, 320, 240, 0, 1, 100, 512},
        // One decoder thread, the audio left unread.
        Expected{kH264Aac, 320, 240, 0, -1, 100, 512, ReaderOptions{1, false}},
        Expected{kMpeg4Mp3, 320, 240, 0, 1, 97}, // three frames dropped
        Expected{kVp9Opus, 320, 240, 0, 1, 75}, Expected{kAudioFirst, 256, 144, 1, 0, 75},
        Expected{kVideoOnly, 320, 240, 0, -1, 75, 512}, Expected{kPcmAudio, 320, 240, 0, 1, 75},
        Expected{kYuv422, 320, 240, 0, -1, 50}, Expected{kOddSize, 321, 241, 0, -1, 50},
        Expected{kTwoVideo, 320, 240, 0, 2, 50}, Expected{kSparseVideo, 160, 120, 0, 1, 4},
        Expected{kEmptyPacket, 64, 48, 0, -1, 49}));

TEST(VideoReaderDecode, A422PictureComesOutAsThe420CodingOfTheSamePattern) {
    VideoReader converted(testMedia(kYuv422).c_str());
    VideoReader reference(testMedia(kVideoOnly).c_str());
    AVFrame *a = nullptr, *b = nullptr;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(converted.getNextFrame(&a) && reference.getNextFrame(&b));
        for (int plane = 0; plane < 3; ++plane) {
            const int w = plane == 0 ? 320 : 160, h = plane == 0 ? 240 : 120;
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

    VideoReader avi(testMedia(kMpeg4Mp3).c_str());                             // 1/25 s
    EXPECT_EQ(static_cast<uint32_t>(avi.timestampToFrame(0x100000005ll)), 5u); // low 32 bits

    // The audio stream comes first: its time base (1/48000) must not be used.
    VideoReader audioFirst(testMedia(kAudioFirst).c_str());
    EXPECT_DOUBLE_EQ(audioFirst.timestampToSeconds(1000), 1.0); // Matroska: 1/1000 s
    EXPECT_EQ(audioFirst.timestampToFrame(280), 7);
    EXPECT_NEAR(audioFirst.timestampToSeconds(audioFirst.getVideoLength()), 3.0, 0.1);

    // The stream carries no duration: the container's is used.
    VideoReader webm(testMedia(kVp9Opus).c_str());
    ASSERT_EQ(webm.videoStreamInfo().duration, AV_NOPTS_VALUE);
    EXPECT_NEAR(webm.timestampToSeconds(webm.getVideoLength()), 3.0, 0.1);
}

TEST(VideoReaderAudio, KeepsPaceWithThePicturesWithinTheSampleBuffer) {
    struct Sound {
        const char* file;
        int firstCount; // samples with the first picture; -1: not pinned
        bool fits;      // the audio up to each picture fits in the sample buffer
    };
    // MP3 in 1152-sample frames at 48 kHz: the first picture ends at 1920, so
    // two whole packets come with it.
    for (const Sound& s :
         {Sound{kMpeg4Mp3, 2304, true}, Sound{kH264Aac, -1, true}, Sound{kPcmAudio, -1, true},
          Sound{kVp9Opus, -1, true}, Sound{kSparseVideo, -1, false}}) {
        SCOPED_TRACE(s.file);
        VideoReader reader(testMedia(s.file).c_str());
        const int rate = reader.audioSampleRate();
        AVFrame* picture = nullptr;
        int16_t* samples = nullptr;
        int value = 0, count = 0, total = 0;
        for (int i = 0; i < 50 && reader.getNextFrame(&picture, &samples, &value, &count); ++i) {
            EXPECT_EQ(samples, reader.audioSamples());
            EXPECT_LE(count * reader.audioChannelCount(), reader.audioSamplesSize());
            EXPECT_TRUE(i > 0 || (value > 0 && (s.firstCount < 0 || count == s.firstCount)))
                << value << " " << count;
            total += count;
            // At least the audio up to the picture's end, less than one second more.
            const double end = static_cast<double>(reader.frameCount()) * rate / 25.0;
            EXPECT_TRUE(!s.fits || (reader.audioSampleCount() >= end &&
                                    reader.audioSampleCount() < end + rate))
                << "picture " << i << ": " << reader.audioSampleCount();
        }
        EXPECT_GT(total, 0);
        EXPECT_TRUE(!s.fits || total == reader.audioSampleCount());
    }
}

TEST(VideoReaderAudio, WithoutSoundNothingIsGatheredOrLeftQueued) {
    struct Case {
        const char* file;
        bool audio, ask; // the audio stream read; its samples asked for
    };
    // No audio stream, the audio left unread, the samples not asked for.
    for (const Case& c :
         {Case{kVideoOnly, true, true}, Case{kH264Aac, false, true}, Case{kH264Aac, true, false}}) {
        SCOPED_TRACE(testing::Message() << c.file << c.audio << c.ask);
        VideoReader reader(testMedia(c.file).c_str(), ReaderOptions{0, c.audio});
        AVFrame* picture = nullptr;
        int16_t* samples = reinterpret_cast<int16_t*>(&reader);
        int value = -1, count = -1;
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(c.ask ? reader.getNextFrame(&picture, &samples, &value, &count)
                              : reader.getNextFrame(&picture));
            EXPECT_TRUE(reader.audioQueueEmpty());
        }
        EXPECT_EQ(reader.audioSampleCount(), 0);
        EXPECT_TRUE(!c.ask || (samples == nullptr && value == 0 && count == 0));
    }
}

class Seeking : public testing::TestWithParam<const char*> {};

TEST_P(Seeking, LandsWhereASequentialDecodeSays) {
    VideoReader reader(testMedia(GetParam()).c_str());
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    ASSERT_GT(pictures.size(), 60u);
    const AVRational base = reader.videoStreamInfo().time_base;
    int width = 0, height = 0;
    reader.getVideoSize(&width, &height);
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = 0, count = 0;
    for (const double seconds : {1.5, 0.0, 2.0, 0.5, 1.0, 2.3}) {
        SCOPED_TRACE(seconds);
        const int frames = reader.frameCount();
        ASSERT_TRUE(reader.seekFrameWKey(seconds));
        // Neither the picture count nor sound from before the seek goes on.
        EXPECT_EQ(reader.frameCount(), frames);
        EXPECT_TRUE(reader.audioQueueEmpty());
        ASSERT_TRUE(reader.getNextFrame(&picture, &samples, &value, &count));
        const auto at =
            std::find_if(pictures.begin(), pictures.end(),
                         [&](const DecodedPicture& p) { return p.timestamp == picture->pts; });
        ASSERT_LT(at + 1, pictures.end());
        // The picture after the first one at or past the target, or a key frame
        // already past it (which one the demuxer finds depends on the packets).
        const auto target = static_cast<int64_t>(seconds * base.den / base.num);
        const auto reached =
            std::find_if(pictures.begin(), pictures.end(),
                         [&](const DecodedPicture& p) { return p.timestamp >= target; });
        EXPECT_TRUE(at == reached + 1 || (at->keyFrame && at >= reached && at <= reached + 3))
            << "landed on " << at - pictures.begin() << ", reached " << reached - pictures.begin();
        // Decoded from the key frame: the very same picture, then the next.
        EXPECT_EQ(pictureChecksum(picture, width, height), at->checksum);
        ASSERT_TRUE(reader.getNextFrame(&picture));
        EXPECT_EQ(picture->pts, at[1].timestamp);
        EXPECT_EQ(pictureChecksum(picture, width, height), at[1].checksum);
    }
    // Beyond the end the seek fails; a later one repositions the reader.
    EXPECT_FALSE(reader.seekFrameWKey(100.0));
    ASSERT_TRUE(reader.seekFrameWKey(0.0));
    ASSERT_TRUE(reader.getNextFrame(&picture));
    EXPECT_EQ(picture->pts, pictures[0].timestamp);
}

INSTANTIATE_TEST_SUITE_P(Fixture, Seeking,
                         testing::Values(kH264Aac, kMpeg4Mp3, kVp9Opus, kAudioFirst));

TEST(VideoReaderErrors, BadFilesAreRefusedWithOneMessageOrDecodeWhatTheyHold) {
    enum Opens { No, Yes, Either };
    struct Bad {
        const char* file;
        Opens opens;
        size_t fewest, most;
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
        EXPECT_TRUE(b.opens == Either || (reader->status() == VideoReader::OK) == (b.opens == Yes));
        EXPECT_EQ(reader->audioRefused(), b.file == kNoAudioDecoder);
        if (reader->status() != VideoReader::OK) {
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
            EXPECT_FALSE(reader->seekFrameWKey(1.0)); // and does no work
            continue;
        }
        const size_t pictures = decodeAll(*reader).size();
        EXPECT_GE(pictures, b.fewest);
        EXPECT_LE(pictures, b.most);
        reader->seekFrameWKey(1.0);
        decodeAll(*reader);
    }
}

TEST(VideoReaderErrors, RefusesAPathTooLongToKeepRatherThanOpenItTruncated) {
    const std::string path = testMedia(kH264Aac);
    const size_t slash = path.rfind('/');
    // The same file with "./" inserted before its name: 999 characters.
    std::string longest = path.substr(0, slash) + ((999 - path.size()) % 2 ? "/" : "");
    while (longest.size() + path.size() - slash < 999)
        longest += "/.";
    longest += path.substr(slash);
    ASSERT_EQ(longest.size(), 999u);
    VideoReader reader(longest.c_str());
    EXPECT_EQ(reader.status(), VideoReader::OK);
    EXPECT_EQ(std::string(reader.fileName()), longest);
    // Cut to what can be kept, this one would name the file above.
    EXPECT_EQ(VideoReader((longest + "x").c_str()).status(), VideoReader::ERROR);
}

TEST(Picture, RunningOutOfMemoryIsThrownToTheCaller) {
    // A size no other test uses: no kept buffer can serve it.
    av_max_alloc(4096);
    EXPECT_THROW(alloc_picture(AV_PIX_FMT_YUV420P, 638, 478), EngineFailure);
    av_max_alloc(kLargestAllocation);
}

// One frame of a constant level (a quarter of full scale) in every channel.
ffmpeg::FramePtr constantFrame(int rate, AVSampleFormat format, int channels, int samples) {
    ffmpeg::FramePtr frame(av_frame_alloc());
    frame->sample_rate = rate;
    frame->format = format;
    frame->nb_samples = samples;
    av_channel_layout_default(&frame->ch_layout, channels);
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    const bool planar = av_sample_fmt_is_planar(format);
    for (int plane = 0; plane < (planar ? channels : 1); ++plane)
        for (int i = 0; i < samples * (planar ? 1 : channels); ++i) {
            if (format == AV_SAMPLE_FMT_FLT || format == AV_SAMPLE_FMT_FLTP)
                reinterpret_cast<float*>(frame->extended_data[plane])[i] = 0.25f;
            else
                reinterpret_cast<int16_t*>(frame->extended_data[plane])[i] = 8192;
        }
    return frame;
}

TEST(Resampler, FollowsAnInputWhoseRateLayoutOrFormatChangesMidStream) {
    struct Input {
        int rate;
        AVSampleFormat format;
        int channels;
    };
    Resampler resampler;
    AVChannelLayout mono{};
    av_channel_layout_default(&mono, 1);
    resampler.setOutput(mono, AV_SAMPLE_FMT_S16, 48000);
    std::vector<int16_t> out(48000);
    // 20 ms each: 960 samples at 48 kHz whatever the input's rate.
    for (const Input& in : {Input{48000, AV_SAMPLE_FMT_FLT, 1}, Input{24000, AV_SAMPLE_FMT_FLT, 1},
                            Input{24000, AV_SAMPLE_FMT_S16P, 2}, Input{44100, AV_SAMPLE_FMT_S16, 2},
                            Input{48000, AV_SAMPLE_FMT_FLTP, 1}}) {
        SCOPED_TRACE(testing::Message() << in.rate << " " << in.format << " " << in.channels);
        const ffmpeg::FramePtr frame = constantFrame(in.rate, in.format, in.channels, in.rate / 50);
        uint8_t* planes[] = {reinterpret_cast<uint8_t*>(out.data())};
        const int got = resampler.convert(frame.get(), planes, static_cast<int>(out.size()));
        // A rate converter holds back a few samples of each frame.
        EXPECT_GT(got, 960 - 64);
        EXPECT_LE(got, 960);
        EXPECT_NEAR(out[got / 2], 8192, 8192 * 0.02);
    }
}

} // namespace

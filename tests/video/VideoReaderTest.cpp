#include "PacketBuffer.h"
#include "Picture.h"
#include "TestMedia.h"
#include "VideoTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include <sys/wait.h>

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
    ASSERT_EQ(reader.status, VideoReader::OK);
    EXPECT_EQ(reader.videoStream, e.videoStream);
    EXPECT_EQ(reader.audioStream, e.audioStream);
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
        Expected{kTwoVideo, 320, 240, 0, 2, 50}, Expected{kSparseVideo, 160, 120, 0, 1, 4}));

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
    ASSERT_EQ(webm.pFormatCtx->streams[webm.videoStream]->duration, AV_NOPTS_VALUE);
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
            EXPECT_EQ(samples, reader.audioSamples.get());
            EXPECT_LE(count * reader.audioChannelCount(), reader.audioSamplesSize);
            EXPECT_TRUE(i > 0 || (value > 0 && (s.firstCount < 0 || count == s.firstCount)))
                << value << " " << count;
            total += count;
            // At least the audio up to the picture's end, less than one second more.
            const double end = static_cast<double>(reader.frameCount) * rate / 25.0;
            EXPECT_TRUE(!s.fits ||
                        (reader.audioSampleCount >= end && reader.audioSampleCount < end + rate))
                << "picture " << i << ": " << reader.audioSampleCount;
        }
        EXPECT_GT(total, 0);
        EXPECT_TRUE(!s.fits || total == reader.audioSampleCount);
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
            EXPECT_TRUE(reader.audioBuffer->isEmpty());
        }
        EXPECT_EQ(reader.audioSampleCount, 0);
        EXPECT_TRUE(!c.ask || (samples == nullptr && value == 0 && count == 0));
    }
}

class Seeking : public testing::TestWithParam<const char*> {};

TEST_P(Seeking, LandsWhereASequentialDecodeSays) {
    VideoReader reader(testMedia(GetParam()).c_str());
    const std::vector<DecodedPicture> pictures = decodeAll(reader);
    ASSERT_GT(pictures.size(), 60u);
    const AVRational base = reader.pFormatCtx->streams[reader.videoStream]->time_base;
    int width = 0, height = 0;
    reader.getVideoSize(&width, &height);
    AVFrame* picture = nullptr;
    int16_t* samples = nullptr;
    int value = 0, count = 0;
    for (const double seconds : {1.5, 0.0, 2.0, 0.5, 1.0, 2.3}) {
        SCOPED_TRACE(seconds);
        const int frames = reader.frameCount;
        ASSERT_TRUE(reader.seekFrameWKey(seconds));
        // Neither the picture count nor sound from before the seek goes on.
        EXPECT_EQ(reader.frameCount, frames);
        EXPECT_TRUE(reader.audioBuffer->isEmpty());
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
        EXPECT_TRUE(b.opens == Either || (reader->status == VideoReader::OK) == (b.opens == Yes));
        EXPECT_EQ(reader->audioRefused, b.file == kNoAudioDecoder);
        if (reader->status != VideoReader::OK) {
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
    EXPECT_EQ(reader.status, VideoReader::OK);
    EXPECT_EQ(std::string(reader.fileName), longest);
    // Cut to what can be kept, this one would name the file above.
    EXPECT_EQ(VideoReader((longest + "x").c_str()).status, VideoReader::ERROR);
}

TEST(PictureDeathTest, RunningOutOfMemoryEndsTheProcessAsAFailure) {
    const auto failed = [](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; };
    // A size no other test uses: no kept buffer can serve it.
    EXPECT_EXIT((av_max_alloc(4096), alloc_picture(AV_PIX_FMT_YUV420P, 638, 478)), failed, "");
}

// Queues a reference-counted packet like the demuxer's, then lets it go at
// once, as the demuxer does: the queue must hold its own copy.
void put(PacketBuffer& buffer, const std::string& text, int64_t dts) {
    AVPacket* packet = av_packet_alloc();
    ASSERT_EQ(av_new_packet(packet, static_cast<int>(text.size())), 0);
    std::memcpy(packet->data, text.data(), text.size());
    packet->dts = dts;
    buffer.putPacket(*packet);
    std::memset(packet->data, 'x', packet->size);
    av_packet_free(&packet);
}

std::string take(PacketBuffer& buffer) {
    AVPacket packet{};
    EXPECT_EQ(buffer.getPacket(&packet), &packet);
    std::string text = std::to_string(packet.dts) + ":";
    text.append(reinterpret_cast<const char*>(packet.data), packet.size);
    PacketBuffer::releasePacket(&packet);
    return text;
}

TEST(PacketBuffer, KeepsOrderAndItsOwnCopiesThroughPutsTakesAndRefills) {
    PacketBuffer buffer;
    put(buffer, "one", 1);
    put(buffer, "two", 2);
    EXPECT_EQ(take(buffer), "1:one");
    put(buffer, "", 3); // an empty packet is a packet like any other
    EXPECT_EQ(take(buffer), "2:two");
    EXPECT_EQ(take(buffer), "3:");
    EXPECT_TRUE(buffer.isEmpty());
    put(buffer, "four", 4);
    put(buffer, "five", 5);
    EXPECT_EQ(take(buffer), "4:four");
    buffer.clear();
    EXPECT_TRUE(buffer.isEmpty());
    put(buffer, "left behind", 6); // for the destructor, as LeakSanitizer checks
}

TEST(PacketBuffer, CopiesTheRecordSideDataAndZeroPadding) {
    PacketBuffer buffer;
    AVPacket* packet = av_packet_alloc();
    ASSERT_EQ(av_new_packet(packet, 3), 0);
    packet->pts = 40;
    packet->flags = AV_PKT_FLAG_KEY;
    packet->stream_index = 1;
    uint8_t* palette = av_packet_new_side_data(packet, AV_PKT_DATA_PALETTE, 1024);
    ASSERT_NE(palette, nullptr);
    std::memset(palette, 0x5a, 1024);
    buffer.putPacket(*packet);
    av_packet_free(&packet);

    AVPacket out{};
    buffer.getPacket(&out);
    EXPECT_EQ(out.size, 3);
    EXPECT_EQ(out.pts, 40);
    EXPECT_EQ(out.flags, AV_PKT_FLAG_KEY);
    EXPECT_EQ(out.stream_index, 1);
    EXPECT_EQ(out.buf, nullptr);
    // Decoders may read past the end: the padding must be there and zero.
    for (int i = 0; i < AV_INPUT_BUFFER_PADDING_SIZE; ++i)
        ASSERT_EQ(out.data[3 + i], 0);
    size_t size = 0;
    const uint8_t* copied = av_packet_get_side_data(&out, AV_PKT_DATA_PALETTE, &size);
    ASSERT_EQ(size, 1024u);
    EXPECT_EQ(copied[1023], 0x5a);
    PacketBuffer::releasePacket(&out);
    EXPECT_EQ(out.side_data_elems, 0);
}

} // namespace

#include "SummaryVideoWriter.h"

#include "AVPointers.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Pictures of one span, each a different grey so the encoder has work to do.
std::vector<PicturePtr> span(int width, int height, int count, int shade) {
    std::vector<PicturePtr> pictures;
    for (int i = 0; i < count; ++i)
        pictures.push_back(solidPicture(width, height, static_cast<uint8_t>(shade + i), 128, 128));
    return pictures;
}

using Timed = std::vector<SummaryVideoWriter::TimedPicture>;

// The pictures shown one after another at the given rate from start on.
Timed timed(const std::vector<PicturePtr>& pictures, double start, double rate = 25.0) {
    Timed out;
    for (size_t i = 0; i < pictures.size(); ++i)
        out.push_back({pictures[i].get(), start + static_cast<double>(i) / rate});
    return out;
}

bool addSpan(SummaryVideoWriter& writer, double start, const std::vector<PicturePtr>& pictures,
             std::string* error, double rate = 25.0) {
    return writer.addSpan(start, start + static_cast<double>(pictures.size()) / rate,
                          timed(pictures, start, rate), error);
}

// The share of decoded audio samples that are not near silence.
double soundingShare(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) != 0)
        return -1.0;
    ffmpeg::InputPtr format(raw);
    avformat_find_stream_info(format.get(), nullptr);
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return -1.0;
    const AVCodecParameters* par = format->streams[index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(decoder.get(), par);
    avcodec_open2(decoder.get(), codec, nullptr);
    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    int64_t total = 0;
    int64_t sounding = 0;
    auto drain = [&]() {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            // The AAC decoder gives planar floats.
            const auto* samples = reinterpret_cast<const float*>(frame->extended_data[0]);
            for (int i = 0; i < frame->nb_samples; ++i) {
                ++total;
                sounding += std::fabs(samples[i]) > 0.01f;
            }
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index)
            avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        drain();
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    return total > 0 ? static_cast<double>(sounding) / total : 0.0;
}

TEST(SummaryVideoWriter, SpansFollowEachOtherWithoutGaps) {
    const std::string path = scratchDirectory("WriterVideoOnly") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {320, 240, 25, 1}, "", &error)) << error;
    // Source times far apart: the output still runs 0, 1, 2, ... frames.
    const auto a = span(320, 240, 25, 30);
    const auto b = span(320, 240, 25, 90);
    const auto c = span(320, 240, 10, 150);
    ASSERT_TRUE(addSpan(writer, 3.0, a, &error)) << error;
    ASSERT_TRUE(addSpan(writer, 40.0, b, &error)) << error;
    ASSERT_TRUE(addSpan(writer, 95.2, c, &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    EXPECT_EQ(writer.picturesWritten(), 60);
    EXPECT_FALSE(writer.hasAudio());

    const StreamInfo info = inspectMedia(path, true);
    ASSERT_TRUE(info.opened);
    EXPECT_NE(info.formatName.find("mp4"), std::string::npos);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 0);
    EXPECT_EQ(info.videoCodec, "h264");
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_DOUBLE_EQ(info.frameRate, 25.0);
    EXPECT_EQ(info.videoFrames, 60);
    EXPECT_TRUE(info.timestampsContinuous);
    EXPECT_NEAR(info.duration, 2.4, 0.04);
}

TEST(SummaryVideoWriter, SourceAudioOfTheSpansComesAlongAsAac) {
    const std::string source = testMedia(kH264Aac);
    const std::string path = scratchDirectory("WriterWithAudio") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {320, 240, 25, 1}, source, &error)) << error;
    EXPECT_TRUE(writer.hasAudio());
    const auto a = span(320, 240, 25, 30);
    const auto b = span(320, 240, 25, 90);
    ASSERT_TRUE(addSpan(writer, 0.0, a, &error)) << error;
    ASSERT_TRUE(addSpan(writer, 2.0, b, &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;

    const StreamInfo info = inspectMedia(path, true);
    ASSERT_TRUE(info.opened);
    EXPECT_EQ(info.videoStreams, 1);
    EXPECT_EQ(info.audioStreams, 1);
    EXPECT_EQ(info.audioCodec, "aac");
    EXPECT_EQ(info.videoFrames, 50);
    EXPECT_NEAR(info.duration, 2.0, 0.04);
    EXPECT_NEAR(info.audioDuration, 2.0, 0.04);
    EXPECT_NEAR(info.videoDuration, 2.0, 0.04);
    // The fixture's tone plays through both spans.
    EXPECT_GT(soundingShare(path), 0.9);
}

TEST(SummaryVideoWriter, SpansPastTheSourcesAudioAreSilent) {
    const std::string source = testMedia(kH264Aac); // 4 s of sound
    const std::string path = scratchDirectory("WriterSilence") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {320, 240, 25, 1}, source, &error)) << error;
    const auto a = span(320, 240, 25, 30);
    const auto b = span(320, 240, 25, 90);
    ASSERT_TRUE(addSpan(writer, 1.0, a, &error)) << error;
    ASSERT_TRUE(addSpan(writer, 30.0, b, &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    const StreamInfo info = inspectMedia(path, false);
    EXPECT_NEAR(info.audioDuration, 2.0, 0.04);
    const double share = soundingShare(path);
    EXPECT_GT(share, 0.4);
    EXPECT_LT(share, 0.6);
}

TEST(SummaryVideoWriter, OddSizesLoseTheirLastColumnAndRow) {
    const std::string path = scratchDirectory("WriterOddSize") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {321, 241, 25, 1}, "", &error)) << error;
    const auto a = span(321, 241, 5, 30);
    ASSERT_TRUE(addSpan(writer, 0.0, a, &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    const StreamInfo info = inspectMedia(path, true);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_EQ(info.videoFrames, 5);
}

TEST(SummaryVideoWriter, NtscRateKeepsItsExactFrameDuration) {
    const std::string path = scratchDirectory("WriterNtsc") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {320, 240, 30000, 1001}, "", &error)) << error;
    const auto a = span(320, 240, 60, 30);
    ASSERT_TRUE(addSpan(writer, 0.0, a, &error, 30000.0 / 1001.0)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    const StreamInfo info = inspectMedia(path, true);
    EXPECT_NEAR(info.frameRate, 30000.0 / 1001.0, 1e-6);
    EXPECT_NEAR(info.duration, 60 * 1001.0 / 30000.0, 1001.0 / 30000.0);
    EXPECT_TRUE(info.timestampsContinuous);
}

TEST(SummaryVideoWriter, GapsInTheSourceAreFilledAndSoundStaysInStep) {
    // One second of source with frames 10 to 12 missing, then a second span.
    const std::string source = testMedia(kH264Aac);
    const std::string path = scratchDirectory("WriterGaps") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {320, 240, 25, 1}, source, &error)) << error;
    const auto pictures = span(320, 240, 25, 30);
    Timed withGap;
    for (int i = 0; i < 25; ++i)
        if (i < 10 || i > 12)
            withGap.push_back({pictures[i].get(), 1.0 + i / 25.0});
    ASSERT_TRUE(writer.addSpan(1.0, 2.0, withGap, &error)) << error;
    ASSERT_TRUE(addSpan(writer, 3.0, pictures, &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    EXPECT_EQ(writer.picturesWritten(), 50);
    const StreamInfo info = inspectMedia(path, true);
    EXPECT_EQ(info.videoFrames, 50);
    EXPECT_NEAR(info.duration, 2.0, 0.04);
    EXPECT_NEAR(info.audioDuration, 2.0, 0.04);
}

TEST(SummaryVideoWriter, FasterSourcesAreThinnedToTheRate) {
    const std::string path = scratchDirectory("WriterThinned") + "/summary.mp4";
    SummaryVideoWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, {320, 240, 25, 1}, "", &error)) << error;
    // 50 pictures in one second of a 25 fps stream: every other one is shown.
    const auto pictures = span(320, 240, 50, 30);
    ASSERT_TRUE(writer.addSpan(0.0, 1.0, timed(pictures, 0.0, 50.0), &error)) << error;
    ASSERT_TRUE(writer.finish(&error)) << error;
    EXPECT_EQ(writer.picturesWritten(), 25);
}

TEST(SummaryVideoWriter, MisuseIsRefusedNotCrashed) {
    SummaryVideoWriter writer;
    std::string error;
    const auto a = span(320, 240, 1, 30);
    EXPECT_FALSE(addSpan(writer, 0.0, a, &error));
    EXPECT_FALSE(writer.finish(&error));
    EXPECT_FALSE(
        writer.open(scratchDirectory("WriterMisuse") + "/x.mp4", {0, 0, 25, 1}, "", &error));
}

TEST(SummaryVideoWriter, SlowRatesCountInMillisecondsAndAbsurdOnesAreRefused) {
    const std::string dir = scratchDirectory("WriterSlowRates");
    SummaryVideoWriter slow;
    std::string error;
    // One picture every two seconds: a time base MP4 cannot hold as it is.
    ASSERT_TRUE(slow.open(dir + "/slow.mp4", {320, 240, 1, 2}, "", &error)) << error;
    const auto a = span(320, 240, 3, 30);
    ASSERT_TRUE(addSpan(slow, 0.0, a, &error, 0.5)) << error;
    ASSERT_TRUE(slow.finish(&error)) << error;
    const StreamInfo info = inspectMedia(dir + "/slow.mp4", true);
    EXPECT_EQ(info.videoFrames, 3);
    EXPECT_NEAR(info.duration, 6.0, 2.0);

    SummaryVideoWriter absurd;
    EXPECT_FALSE(absurd.open(dir + "/absurd.mp4", {320, 240, 1, 1000000}, "", &error));
    EXPECT_EQ(error, "the source's frame rate (1/1000000) is too low for an MP4 summary");
}

TEST(SummaryVideoWriter, UnreadableAudioSourceFailsTheOpen) {
    SummaryVideoWriter writer;
    std::string error;
    EXPECT_FALSE(writer.open(scratchDirectory("WriterBadAudio") + "/x.mp4", {320, 240, 25, 1},
                             "/nonexistent.mp4", &error));
    EXPECT_EQ(error, "cannot open '/nonexistent.mp4' for its audio");
}

} // namespace

// tessaro-summarize --subtitles and --audio-track, run as a user runs them:
// the kept lines at their summary times, in the .srt and in the MP4's
// mov_text track, and the sound of the track asked for.

#include "AVPointers.h"
#include "AudioSpanSource.h"
#include "MediaTracks.h"
#include "SubtitleReader.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SrtLine {
    int64_t startMs, endMs;
    std::string text;
};

int64_t srtMs(const std::string& t) {
    return ((std::stoll(t.substr(0, 2)) * 60 + std::stoll(t.substr(3, 2))) * 60 +
            std::stoll(t.substr(6, 2))) *
               1000 +
           std::stoll(t.substr(9, 3));
}

// The entries of an SRT file, checking their numbers run from 1.
std::vector<SrtLine> parseSrt(const std::string& text) {
    std::vector<SrtLine> out;
    const std::vector<std::string> rows = lines(text);
    for (size_t i = 0; i + 2 < rows.size() + 1 && i < rows.size();) {
        EXPECT_EQ(rows[i], std::to_string(out.size() + 1));
        const std::string& times = rows[i + 1];
        EXPECT_EQ(times.size(), 29u) << times;
        SrtLine line{srtMs(times.substr(0, 12)), srtMs(times.substr(17, 12)), ""};
        for (i += 2; i < rows.size() && !rows[i].empty(); ++i)
            line.text += (line.text.empty() ? "" : "\n") + rows[i];
        out.push_back(line);
        ++i;
    }
    return out;
}

// The kept segments of the tool's JSON list, in seconds.
std::vector<std::pair<double, double>> segmentsOf(const std::string& json) {
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    std::vector<std::pair<double, double>> segments;
    for (const QJsonValue s : o["segments"].toArray())
        segments.emplace_back(s.toObject()["start"].toDouble(), s.toObject()["end"].toDouble());
    return segments;
}

// The source's lines that the segments keep, cut to them and placed on the
// summary's clock, where the segments follow each other.
std::vector<SrtLine> expectedLines(const std::string& video,
                                   const std::vector<std::pair<double, double>>& segments) {
    const std::vector<MediaTrack> tracks = subtitleTracksOf(video);
    std::vector<std::string> notices;
    const std::vector<SubtitleLine> source =
        readSubtitles(tracks.at(shownSubtitleTrack(tracks)), notices);
    std::vector<SrtLine> out;
    double place = 0.0;
    for (const auto& [start, end] : segments) {
        for (const SubtitleLine& line : source) {
            const double from = std::max(line.startMs / 1000.0, start);
            const double to = std::min(line.endMs() / 1000.0, end);
            if (to > from)
                out.push_back({std::llround((place + from - start) * 1000),
                               std::llround((place + to - start) * 1000), plainText(line.event)});
        }
        place += end - start;
    }
    return out;
}

struct MovText {
    bool found = false;
    std::string language;
    int lines = 0; // samples with text (the muxer fills gaps with empty ones)
};

MovText movTextOf(const std::string& path) {
    MovText result;
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0)
        return result;
    const ffmpeg::InputPtr input(opened);
    int stream = -1;
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (opened->streams[i]->codecpar->codec_id == AV_CODEC_ID_MOV_TEXT)
            stream = static_cast<int>(i);
    if (stream < 0)
        return result;
    result.found = true;
    if (const AVDictionaryEntry* language =
            av_dict_get(opened->streams[stream]->metadata, "language", nullptr, 0))
        result.language = language->value;
    const ffmpeg::PacketPtr packet(av_packet_alloc());
    while (av_read_frame(opened, packet.get()) >= 0) {
        // Two bytes of length, then the text.
        if (packet->stream_index == stream && packet->size > 2)
            ++result.lines;
        av_packet_unref(packet.get());
    }
    return result;
}

// The pitch of a file's sound (its first audio stream), from its zero crossings.
double pitchOf(const std::string& path) {
    AudioSpanSource source;
    std::string error;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    if (!source.open(path, &error) || !source.setOutput(mono, AV_SAMPLE_FMT_FLT, 48000, &error))
        return 0.0;
    const int count = 48000 / 2;
    const ffmpeg::AudioFifoPtr fifo(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLT, 1, count));
    source.jumpTo(4800);
    if (!source.take(4800, count, fifo.get()))
        return 0.0;
    std::vector<float> samples(count);
    void* planes[1] = {samples.data()};
    av_audio_fifo_read(fifo.get(), planes, count);
    int crossings = 0;
    for (int i = 1; i < count; ++i)
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    return crossings / 2.0 / (count / 48000.0);
}

TEST(SummarizeSubtitles, KeptLinesFallAtTheirSummaryTimesInTheSrtAndTheVideo) {
    const struct {
        const char* video;
        std::vector<std::string> settings;
        size_t atLeast; // lines kept
        const char* language;
    } cases[] = {
        {kSubsScenes, {"-t", "0.3"}, 2, "eng"},
        {kSubsScenes, {"-t", "0.6", "--shot-aware"}, 4, "eng"},
        {kSubsMovText, {"-t", "0.5"}, 1, "ger"},
        {kSubsTwoSrt, {"-t", "0.5"}, 1, "fre"}, // the marked one
        {kSideAss, {"-t", "1"}, 3, ""},
        {kSideOrder, {"-t", "0.5"}, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        const std::string dir = scratchDirectory("SubtitlesKept");
        std::vector<std::string> arguments = c.settings;
        arguments.insert(arguments.end(), {"-q", "--no-store", "-o", dir + "/s.mp4", "--subtitles",
                                           dir + "/s.srt", testMedia(c.video)});
        const ChildRun run = runProgram(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(fileCount(dir), 2u);
        const std::vector<SrtLine> written = parseSrt(readFile(dir + "/s.srt"));
        const std::vector<SrtLine> expected =
            expectedLines(testMedia(c.video), segmentsOf(run.out));
        EXPECT_GE(written.size(), c.atLeast);
        ASSERT_EQ(written.size(), expected.size());
        for (size_t i = 0; i < written.size(); ++i) {
            EXPECT_NEAR(written[i].startMs, expected[i].startMs, 1) << i;
            EXPECT_NEAR(written[i].endMs, expected[i].endMs, 1) << i;
            EXPECT_EQ(written[i].text, expected[i].text);
            if (i > 0) {
                EXPECT_LE(written[i - 1].startMs, written[i].startMs);
            }
        }
        const MovText track = movTextOf(dir + "/s.mp4");
        EXPECT_TRUE(track.found);
        EXPECT_EQ(track.language, c.language[0] ? c.language : "und");
        // Overlapping lines share samples: only the file without overlaps counts one each.
        if (std::string(c.video) != kSideOrder && std::string(c.video) != kSideAss) {
            EXPECT_EQ(track.lines, static_cast<int>(written.size()));
        }
        // The video's track, as the player lists it (s.srt beside it comes
        // after), read back: the same first line.
        const std::vector<MediaTrack> inVideo = subtitleTracksOf(dir + "/s.mp4");
        ASSERT_EQ(inVideo.size(), 2u);
        EXPECT_FALSE(inVideo[0].besideVideo);
        EXPECT_TRUE(inVideo[1].besideVideo);
        EXPECT_TRUE(inVideo[0].marked);
        std::vector<std::string> notices;
        const std::vector<SubtitleLine> back = readSubtitles(inVideo[0], notices);
        ASSERT_FALSE(back.empty());
        EXPECT_NEAR(back.front().startMs, written.front().startMs, 1);
        EXPECT_EQ(plainText(back.front().event), written.front().text);
    }
}

TEST(SummarizeSubtitles, AudioTrackAndNoSubtitles) {
    const std::string tones = testMedia(kTwoTones);
    const struct {
        std::vector<std::string> arguments;
        int status;
        double pitch; // of the MP4's sound; 0 for no MP4
        const char* said;
    } cases[] = {
        // The file marks the second track: the video takes it unless told.
        {{}, 0, 880, "has no subtitles; "},
        {{"--audio-track", "1"}, 0, 440, "has no subtitles; "},
        {{"--audio-track", "2"}, 0, 880, "has no subtitles; "},
        {{"--audio-track", "3"}, 2, 0, "--audio-track 3: '"},
        {{"--audio-track", "0"}, 2, 0, "--audio-track must be a whole number from 1"},
    };
    for (const auto& c : cases) {
        const std::string dir = scratchDirectory("SubtitlesTracks");
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"-q", "--no-store", "-f", "csv", "-o", dir + "/s.mp4",
                                           "--subtitles", dir + "/s.srt", tones});
        const ChildRun run = runProgram(arguments);
        SCOPED_TRACE(run.err);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.said), std::string::npos);
        if (c.status != 0) {
            EXPECT_EQ(fileCount(dir), 0u);
            if (c.arguments[1] == "3") {
                EXPECT_NE(run.err.find("has 2 audio tracks"), std::string::npos);
            }
            continue;
        }
        EXPECT_EQ(lines(run.err).size(), 1u);
        EXPECT_EQ(readFile(dir + "/s.srt"), "");
        EXPECT_NEAR(pitchOf(dir + "/s.mp4"), c.pitch, 40);
        EXPECT_FALSE(movTextOf(dir + "/s.mp4").found);
    }
    // Without --subtitles or --audio-track, the same list, to the byte.
    const ChildRun plain = runProgram({"-q", "--no-store", "-f", "csv", tones});
    const ChildRun asked =
        runProgram({"-q", "--no-store", "-f", "csv", "--audio-track", "1", "--subtitles",
                    scratchDirectory("SubtitlesSame") + "/s.srt", tones});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, asked.out);
}

TEST(SummarizeSubtitles, InABatchEachVideoGetsItsOwnAndSkipDoneCountsThem) {
    const std::string dir = scratchDirectory("SubtitlesBatch");
    const std::vector<std::string> common = {"-q",          "--no-store", "--out-dir",     dir,
                                             "--subtitles", "srt",        "--audio-track", "2"};
    std::vector<std::string> arguments = common;
    arguments.insert(arguments.end(), {testMedia(kSubsScenes), testMedia(kTwoTones)});
    ChildRun run = runProgram(arguments);
    // The scenes have one sound track: that video fails, the other goes on.
    EXPECT_EQ(run.status, 6) << run.err;
    EXPECT_NE(run.err.find("has 1 audio track"), std::string::npos) << run.err;
    const std::vector<std::string> report = lines(run.out);
    ASSERT_EQ(report.size(), 2u);
    EXPECT_NE(report[0].find("\"failed\""), std::string::npos);
    EXPECT_NE(report[1].find("\"ok\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir + "/two_tones.mkv.srt"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/subs_scenes.mkv.srt"));

    arguments = common;
    arguments.push_back("--skip-done");
    arguments.push_back(testMedia(kTwoTones));
    run = runProgram(arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"skipped\""), std::string::npos) << run.out;
    // The subtitles gone: summarised again.
    std::filesystem::remove(dir + "/two_tones.mkv.srt");
    run = runProgram(arguments);
    EXPECT_NE(run.out.find("\"ok\""), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::exists(dir + "/two_tones.mkv.srt"));
    // Another sound track asked for: summarised again.
    arguments[7] = "1";
    run = runProgram(arguments);
    EXPECT_NE(run.out.find("\"ok\""), std::string::npos) << run.out;
}

} // namespace

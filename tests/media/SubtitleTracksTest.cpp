#include "MediaTracks.h"
#include "SubtitleReader.h"
#include "TestMedia.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

// How a failed expectation shows a track.
void PrintTo(const MediaTrack& t, std::ostream* out) {
    *out << "{stream " << t.stream << ", " << t.path << (t.besideVideo ? " (beside)" : "") << ", '"
         << t.language << "', '" << t.title << "', " << t.codec << (t.marked ? ", marked" : "")
         << ", number " << t.number << "}";
}

namespace {

struct ExpectedLine {
    int64_t startMs, durationMs;
    std::string text; // plainText of the event
};

struct TrackCase {
    const char* name;
    const char* video;
    int track; // its place in subtitleTracksOf(video)
    size_t tracks;
    int shown;           // shownSubtitleTrack
    MediaTrack expected; // path filled in from the video
    std::vector<ExpectedLine> lines;
    std::vector<std::string> notices;
    const char* inHeader; // a piece of header() ("" for none)
};

MediaTrack subtitle(int stream, bool beside, const char* language, const char* title,
                    const char* codec, bool marked, int number) {
    MediaTrack track;
    track.kind = MediaTrack::Kind::Subtitle;
    track.stream = stream;
    track.besideVideo = beside;
    track.language = language;
    track.title = title;
    track.codec = codec;
    track.marked = marked;
    track.number = number;
    return track;
}

class SubtitleTrackTable : public testing::TestWithParam<TrackCase> {};

TEST_P(SubtitleTrackTable, ListsReadsAndNamesTheTrack) {
    const TrackCase& c = GetParam();
    const std::string video = testMedia(c.video);
    const std::vector<MediaTrack> tracks = subtitleTracksOf(video);
    ASSERT_EQ(tracks.size(), c.tracks);
    EXPECT_EQ(shownSubtitleTrack(tracks), c.shown);
    const MediaTrack& track = tracks[c.track];
    MediaTrack expected = c.expected;
    expected.path = expected.besideVideo ? track.path : video;
    EXPECT_EQ(track, expected);

    std::vector<std::string> notices;
    const std::vector<SubtitleLine> lines = readSubtitles(track, notices);
    ASSERT_EQ(lines.size(), c.lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i].event);
        EXPECT_EQ(lines[i].startMs, c.lines[i].startMs);
        EXPECT_EQ(lines[i].durationMs, c.lines[i].durationMs);
        EXPECT_EQ(plainText(lines[i].event), c.lines[i].text);
    }
    EXPECT_EQ(notices, c.notices);

    SubtitleReader reader;
    ASSERT_TRUE(reader.open(track));
    EXPECT_NE(reader.header().find("[Script Info]"), std::string::npos);
    EXPECT_NE(reader.header().find(c.inHeader), std::string::npos);
}

const char* const kSrtHeader = "Style: Default,";

INSTANTIATE_TEST_SUITE_P(
    Tracks, SubtitleTrackTable,
    testing::Values(
        TrackCase{"MatroskaFirstSrtUnmarked",
                  kSubsTwoSrt,
                  0,
                  2,
                  1,
                  subtitle(1, false, "eng", "Plain", "subrip", false, 1),
                  {{500, 800, "Line 1"}, {1500, 800, "Line 2"}, {2500, 800, "Line 3"}},
                  {},
                  kSrtHeader},
        TrackCase{"MatroskaSecondSrtMarked",
                  kSubsTwoSrt,
                  1,
                  2,
                  1,
                  subtitle(2, false, "fre", "", "subrip", true, 2),
                  {{1000, 1000, "Ligne 1"}, {2500, 1000, "Ligne 2"}},
                  {},
                  kSrtHeader},
        TrackCase{"Mp4MovText",
                  kSubsMovText,
                  0,
                  1,
                  0,
                  subtitle(1, false, "ger", "", "mov_text", true, 1),
                  {{0, 900, "Line 1"}, {1000, 900, "Line 2"}, {2000, 900, "Line 3"}},
                  {},
                  kSrtHeader},
        TrackCase{
            "AssBesideWithStyles",
            kSideAss,
            0,
            1,
            0,
            subtitle(0, true, "", "", "ass", false, 1),
            {{500, 1000, "Hello, world\nsecond row"}, {1000, 1000, "A sign"}, {2500, 500, "Last"}},
            {},
            "Style: Sign,DejaVu Serif,16"},
        TrackCase{"Latin1SrtBeside",
                  kSideLatin1,
                  0,
                  1,
                  0,
                  subtitle(0, true, "", "", "subrip", false, 1),
                  {{500, 1000, "Caf\u00e9 cr\u00e8me"}, {2000, 1000, "Na\u00efve"}},
                  {"The subtitles in side_latin1.srt are not UTF-8; they are read as Latin-1"},
                  kSrtHeader},
        // A line of a stream that is not UTF-8, read as Latin-1.
        TrackCase{
            "Latin1LineInAStream",
            kSubsLatin1,
            0,
            1,
            0,
            subtitle(1, false, "", "", "subrip", true, 1),
            {{500, 500, "\u00e9t\u00e9"}, {1500, 500, "D\u00e9j\u00e0 vu"}, {2500, 500, "fin"}},
            {"Some lines of the subtitles are not UTF-8; they are read as Latin-1"},
            kSrtHeader},
        // Sorted by start; the two lines at 2 s keep the file's order.
        TrackCase{"OutOfOrderAndOverlapping",
                  kSideOrder,
                  0,
                  1,
                  0,
                  subtitle(0, true, "", "", "subrip", false, 1),
                  {{500, 2000, "First"},
                   {1000, 500, "Second"},
                   {2000, 1000, "Third"},
                   {2000, 200, "Fourth"}},
                  {},
                  kSrtHeader},
        // The refused line is passed over, the rest read. (The muxer moved
        // the file's times by the sound's 21 ms of priming, the pictures' too.)
        TrackCase{"DamagedStream",
                  kSubsDamaged,
                  0,
                  1,
                  0,
                  subtitle(2, false, "", "", "subrip", true, 1),
                  {{121, 500, "Line 1"},
                   {2121, 500, "Line 1"},
                   {3121, 500, "Line 2"},
                   {4121, 500, "Line 3"}},
                  {"Some lines of the subtitles could not be read"},
                  kSrtHeader}),
    [](const testing::TestParamInfo<TrackCase>& info) { return info.param.name; });

TEST(SubtitleReader, RefusesAGarbageOrEmptySideFile) {
    const std::vector<MediaTrack> tracks = subtitleTracksOf(testMedia(kSideGarbage));
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].label(), "side_garbage.srt (beside the video)");
    SubtitleReader reader;
    EXPECT_FALSE(reader.open(tracks[0]));
    EXPECT_EQ(reader.failure(), "side_garbage.srt holds no subtitles");
    SubtitleLine line;
    EXPECT_FALSE(reader.next(line));
    std::vector<std::string> notices;
    EXPECT_TRUE(readSubtitles(tracks[0], notices).empty());
    EXPECT_EQ(notices, std::vector<std::string>{"side_garbage.srt holds no subtitles"});

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tessaro-subs-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(testMedia(kFrames51), folder / "film.mp4",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(folder / "film.vtt").flush();
    const std::vector<MediaTrack> empty = subtitleTracksOf((folder / "film.mp4").string());
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].codec, "webvtt");
    EXPECT_FALSE(reader.open(empty[0]));
    EXPECT_EQ(reader.failure(), "film.vtt is empty");
    std::ofstream(folder / "film.vtt") << "WEBVTT\n\n00:00.500 --> 00:01.250\n<i>Hi</i> there\n";
    notices.clear();
    const std::vector<SubtitleLine> lines = readSubtitles(empty[0], notices);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].startMs, 500);
    EXPECT_EQ(lines[0].durationMs, 750);
    EXPECT_EQ(plainText(lines[0].event), "Hi there");
    std::filesystem::remove_all(folder);
}

TEST(MediaTracks, AVideoWithoutSubtitlesHasNone) {
    EXPECT_TRUE(subtitleTracksOf(testMedia(kH264Aac)).empty());
    EXPECT_TRUE(subtitleTracksOf(testMedia(kMissing)).empty());
    EXPECT_TRUE(audioTracksOf(testMedia(kMissing)).empty());
    EXPECT_EQ(shownSubtitleTrack({}), -1);
    EXPECT_EQ(playedAudioTrack({}), -1);
}

TEST(MediaTracks, SoundTracksAndTheOnePlayed) {
    const struct {
        const char* video;
        std::vector<std::string> labels;
        int played;
    } cases[] = {
        {kTwoTones, {"English (eng)", "English (eng) \u2014 Commentary"}, 1},
        {kH264Aac, {"Track 1 (aac)"}, 0},
        {kTwoVideo, {"Track 1 (aac)", "Track 2 (aac)"}, 0},
        {kAudioFirst, {"Track 1 (aac)"}, 0},
        {kVideoOnly, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        const std::vector<MediaTrack> tracks = audioTracksOf(testMedia(c.video));
        std::vector<std::string> labels;
        for (const MediaTrack& track : tracks) {
            EXPECT_EQ(track.kind, MediaTrack::Kind::Audio);
            labels.push_back(track.label());
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_EQ(playedAudioTrack(tracks), c.played);
    }
    const std::vector<MediaTrack> tones = audioTracksOf(testMedia(kTwoTones));
    ASSERT_EQ(tones.size(), 2u);
    EXPECT_EQ(tones[0].stream, 1);
    EXPECT_EQ(tones[1].stream, 2);
    EXPECT_FALSE(tones[0].marked);
    EXPECT_TRUE(tones[1].marked);
}

TEST(MediaTracks, ShownSubtitlesRules) {
    const MediaTrack plain = subtitle(2, false, "eng", "", "subrip", false, 1);
    const MediaTrack marked = subtitle(3, false, "fre", "", "subrip", true, 2);
    const MediaTrack marked2 = subtitle(4, false, "ger", "", "ass", true, 3);
    const MediaTrack beside = subtitle(0, true, "", "", "subrip", false, 4);
    const struct {
        std::vector<MediaTrack> tracks;
        int shown;
    } cases[] = {
        {{plain}, -1},                 // nothing marked: none
        {{plain, marked}, 1},          // the marked one
        {{plain, marked, marked2}, 1}, // the first marked
        {{plain, marked, beside}, 2},  // a file beside the video first
        {{beside, marked}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shownSubtitleTrack(c.tracks), c.shown);
    EXPECT_EQ(subtitle(1, false, "", "", "mov_text", true, 2).label(), "Track 2 (mov_text)");
    EXPECT_EQ(subtitle(1, false, "qaa", "", "ass", true, 1).label(), "qaa");
    EXPECT_EQ(subtitle(1, false, "", "Signs", "ass", true, 1).label(), "Signs");
}

TEST(PlainText, TakesTheTextFieldAndItsTagsOut) {
    const struct {
        const char* event;
        const char* text;
    } cases[] = {
        {"0,0,Default,,0,0,0,,Hello", "Hello"},
        {"3,0,Default,,0,0,0,,{\\i1}One{\\i0}, two\\Nthree\\nfour\\hfive",
         "One, two\nthree\nfour five"},
        {"0,0,Default,,0,0,0,,{\\pos(10,20)}{unclosed", "{unclosed"},
        {"0,0,Default,,0,0,0,,", ""},
        {"no commas at all", "no commas at all"},
        {"0,0,Default,,0,0,0,,a\\", "a\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plainText(c.event), c.text) << c.event;
}

} // namespace

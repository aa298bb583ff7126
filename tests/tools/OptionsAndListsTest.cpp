// The command line read into options, and the segment list in its three
// text forms.

#include "SegmentList.h"
#include "SummarizeOptions.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using Action = ParsedCommandLine::Action;

TEST(SummarizeOptions, EveryOptionInEveryWritingIsTaken) {
    ParsedCommandLine p = parseCommandLine(
        {"-t", "0.1", "--length-weight=0.3", "--continuity-weight", "0.4", "--redundancy-weight=0",
         "--activity-weight", "1", "--depth=20", "--nodes=5000", "--junk-filter", "--shot-aware",
         "--whole-speech", "-fcsv", "-o", "out.mp4", "--contact-sheet", "sheet.png", "-q", "film.mp4"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    const SummarySettings& s = p.options.settings;
    EXPECT_DOUBLE_EQ(s.target, 0.1);
    EXPECT_DOUBLE_EQ(s.lengthWeight, 0.3);
    EXPECT_DOUBLE_EQ(s.continuityWeight, 0.4);
    EXPECT_DOUBLE_EQ(s.redundancyWeight, 0.0);
    EXPECT_DOUBLE_EQ(s.activityWeight, 1.0);
    EXPECT_EQ(s.depth, 20);
    EXPECT_EQ(s.nodes, 5000);
    EXPECT_TRUE(s.junkFilter);
    EXPECT_TRUE(s.shotAware);
    EXPECT_TRUE(s.wholeSpeech);
    EXPECT_EQ(p.options.format, ListFormat::Csv);
    EXPECT_EQ(p.options.output, "out.mp4");
    EXPECT_EQ(p.options.contactSheet, "sheet.png");
    EXPECT_TRUE(p.options.quiet);
    EXPECT_EQ(p.options.video, "film.mp4");

    // Short flags group, values attach, the last format given wins; limits are inclusive.
    p = parseCommandLine({"-qt1.00", "-fedl", "--format=json", "film.mp4"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    EXPECT_TRUE(p.options.quiet);
    EXPECT_DOUBLE_EQ(p.options.settings.target, 1.0);
    EXPECT_EQ(p.options.format, ListFormat::Json);
    // After "--" a dashed name is a video; so is "-" alone.
    EXPECT_EQ(parseCommandLine({"-q", "--", "-odd name.mp4"}).options.video, "-odd name.mp4");
    EXPECT_EQ(parseCommandLine({"-"}).options.video, "-");
    EXPECT_EQ(parseCommandLine({"-t", "0", "--depth", "90", "--nodes", "100", "v"}).action,
              Action::Run);

    // A batch: named videos, a list, or its own options.
    p = parseCommandLine({"--from", "list", "--skip-done", "--save-descriptors", "-j2",
                          "--threads=3", "--shard", "2/5", "--out-dir", "o", "a", "b"});
    ASSERT_EQ(p.action, Action::Run) << p.error;
    EXPECT_EQ(p.options.videos, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(p.options.batch() && p.options.skipDone && p.options.saveDescriptors);
    EXPECT_EQ(p.options.from + p.options.outDir, "listo");
    EXPECT_EQ(p.options.jobs * 100 + p.options.threads * 10 + p.options.shard, 232);
    EXPECT_EQ(p.options.shards, 5);
    EXPECT_TRUE(parseCommandLine({"--from", "-"}).options.batch());
    EXPECT_FALSE(
        parseCommandLine({"-j2", "--threads", "1", "--save-descriptors", "v"}).options.batch());
}

TEST(SummarizeOptions, BadCommandLinesAreRefusedNamingWhatIsWrong) {
    const struct {
        std::vector<std::string> arguments;
        const char* named;
    } cases[] = {
        {{"-t", "1.01", "v"}, "1.01"},
        {{"-t", "-0.1", "v"}, "-0.1"},
        {{"--target=nan", "v"}, "nan"},
        {{"--length-weight", "0.2x", "v"}, "0.2x"},
        {{"--activity-weight=", "v"}, "--activity-weight"},
        {{"--depth", "19", "v"}, "19"},
        {{"--depth", "60.5", "v"}, "60.5"},
        {{"--nodes", "5001", "v"}, "5001"},
        {{"--nodes", "99999999999999999999", "v"}, "9999"},
        {{"-f", "xml", "v"}, "xml"},
        {{"--output=", "v"}, "--output"},
        {{"--frobnicate", "v"}, "--frobnicate"},
        {{"-x", "v"}, "-x"},
        {{"--quiet=yes", "v"}, "--quiet"},
        {{"--shot-aware=true", "v"}, "--shot-aware"},
        // Option-like words that are no option, and never a video's name.
        {{"-q5", "v"}, "'-5'"},
        {{"---x", "v"}, "'---x'"},
        {{"-!", "v"}, "'-!'"},
        {{"v", "--target"}, "--target"},
        {{"v", "-o"}, "-o"},
        {{"-q"}, "video"},
        {{"--shard", "0/2", "v"}, "0/2"},
        {{"--shard=3/2", "v"}, "3/2"},
        {{"--shard", "2", "v"}, "'2'"},
        {{"-j0", "v"}, "--jobs"},
        {{"--from="}, "--from"},
        // In a batch -o names the end of each video's file.
        {{"-o", "out/s.mp4", "a.mp4", "b.mp4"}, "out/s.mp4"},
    };
    for (const auto& c : cases) {
        const ParsedCommandLine p = parseCommandLine(c.arguments);
        EXPECT_EQ(p.action, Action::Error) << c.named;
        EXPECT_NE(p.error.find(c.named), std::string::npos) << p.error;
    }
}

// A 25-frame fragment at 25 fps, numbered as the engine numbers frames (from 1).
KeptFragment fragment(int index, int frames = 25, int32_t shot = -1) {
    return {1 + 25LL * index, frames, index * 1.0, index + frames / 25.0, shot};
}

TEST(MergeFragments, FollowingFragmentsJoinAndGapsAndCutsSplit) {
    const struct {
        std::vector<KeptFragment> kept;
        std::vector<Segment> merged;
    } cases[] = {
        {{fragment(2), fragment(3), fragment(4), fragment(7)}, {{2.0, 5.0, 75}, {7.0, 8.0, 25}}},
        {{fragment(0), fragment(2), fragment(4)}, {{0.0, 1.0, 25}, {2.0, 3.0, 25}, {4.0, 5.0, 25}}},
        {{fragment(0), fragment(1, 10)}, {{0.0, 1.4, 35}}}, // a short last fragment joins
        // A cut between two following fragments splits them (shot-aware ranking).
        {{fragment(0, 25, 3), fragment(1, 25, 3), fragment(2, 25, 4)},
         {{0.0, 2.0, 50}, {2.0, 3.0, 25}}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        const std::vector<Segment> merged = mergeFragments(c.kept);
        ASSERT_EQ(merged.size(), c.merged.size());
        for (size_t i = 0; i < merged.size(); ++i) {
            EXPECT_DOUBLE_EQ(merged[i].start, c.merged[i].start);
            EXPECT_DOUBLE_EQ(merged[i].end, c.merged[i].end);
            EXPECT_EQ(merged[i].frames, c.merged[i].frames);
        }
    }
}

SummaryReport report(std::vector<Segment> segments, std::string video = "/videos/holiday.mp4") {
    SummaryReport r;
    r.video = std::move(video);
    r.duration = 120.0;
    r.segments = std::move(segments);
    return r;
}

TEST(SegmentList, JsonReadsBackWhateverTheFileName) {
    const std::string names[] = {"say \"hi\"\\back.mp4", "tab\there\nnewline.mp4",
                                 "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xac.mp4",
                                 // invalid UTF-8: a stray byte, cut short, overlong, a surrogate
                                 "a\xff"
                                 "b\xc3",
                                 "\xc0\xaf\xed\xa0\x80"};
    const std::u16string replaced[] = {u"a\ufffdb\ufffd", u"\ufffd\ufffd\ufffd\ufffd\ufffd"};
    for (size_t i = 0; i < std::size(names); ++i) {
        SummaryReport r = report({{2.0, 5.0, 75}, {7.04, 8.04, 25}}, names[i]);
        r.settings.depth = 40;
        QJsonParseError error{};
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(formatJson(r)), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << names[i];
        if (i < 3)
            EXPECT_EQ(o["video"].toString().toStdString(), names[i]);
        else
            EXPECT_EQ(o["video"].toString().toStdU16String(), replaced[i - 3]);
        EXPECT_DOUBLE_EQ(o["duration"].toDouble(), 120.0);
        EXPECT_EQ(o["settings"].toObject()["depth"].toInt(), 40);
        const QJsonObject second = o["segments"].toArray()[1].toObject();
        EXPECT_DOUBLE_EQ(second["start"].toDouble(), 7.04);
        EXPECT_DOUBLE_EQ(second["end"].toDouble(), 8.04);
        EXPECT_EQ(second["frames"].toInt(), 25);
        EXPECT_DOUBLE_EQ(o["summary_duration"].toDouble(), 4.0);
    }
}

TEST(SegmentList, CsvHasAHeaderThenOneRowPerSegment) {
    const auto rows = lines(formatCsv(report({{2.0, 5.0, 75}, {7.04, 8.04, 25}})));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1], "1,2.000,5.000,3.000,75");
    EXPECT_EQ(rows[2], "2,7.040,8.040,1.000,25");
    EXPECT_EQ(lines(formatCsv(report({}))).size(), 1u);
}

TEST(SegmentList, EdlEventsCarrySourceAndRecordTimecodes) {
    // A line break in the name must not break the list's lines.
    SummaryReport r = report({{2.0, 5.0, 75}, {3661.28, 3662.28, 25}}, "/videos/evil\nname.mp4");
    r.hasAudio = true;
    std::vector<std::string> rows = lines(formatEdl(r));
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[3],
              "001  AX       AA/V  C        00:00:02:00 00:00:05:00 00:00:00:00 00:00:03:00");
    EXPECT_EQ(rows[6],
              "002  AX       AA/V  C        01:01:01:07 01:01:02:07 00:00:03:00 00:00:04:00");
    // 10.010 s is frame 300 at 29.97 fps: 00:00:10:00 counting in 30. No sound: V alone.
    r = report({{10.010, 11.011, 30}});
    r.frameRateNum = 30000;
    r.frameRateDen = 1001;
    rows = lines(formatEdl(r));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[3],
              "001  AX       V     C        00:00:10:00 00:00:11:00 00:00:00:00 00:00:01:00");
}

} // namespace

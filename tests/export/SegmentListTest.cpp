// The kept fragments merged into segments, and the segment list in its
// three text forms.

#include "SegmentList.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

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

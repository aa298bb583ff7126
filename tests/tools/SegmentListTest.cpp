#include "SegmentList.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sstream>

namespace {

// A 25-frame fragment at 25 fps, numbered as the engine numbers frames (from 1).
KeptFragment fragment(int index, int frames = 25) {
    KeptFragment f;
    f.firstFrameNumber = 1 + 25LL * index;
    f.frames = frames;
    f.start = index * 1.0;
    f.end = f.start + frames / 25.0;
    return f;
}

SummaryReport report(std::vector<Segment> segments) {
    SummaryReport r;
    r.video = "/videos/holiday.mp4";
    r.duration = 120.0;
    r.segments = std::move(segments);
    return r;
}

TEST(MergeFragments, ConsecutiveFragmentsBecomeOneSegment) {
    const auto segments = mergeFragments({fragment(2), fragment(3), fragment(4), fragment(7)});
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_DOUBLE_EQ(segments[0].start, 2.0);
    EXPECT_DOUBLE_EQ(segments[0].end, 5.0);
    EXPECT_EQ(segments[0].frames, 75);
    EXPECT_DOUBLE_EQ(segments[1].start, 7.0);
    EXPECT_DOUBLE_EQ(segments[1].end, 8.0);
    EXPECT_EQ(segments[1].frames, 25);
}

TEST(MergeFragments, AGapOfOneFragmentSplits) {
    EXPECT_EQ(mergeFragments({fragment(0), fragment(2), fragment(4)}).size(), 3u);
}

TEST(MergeFragments, AShortLastFragmentJoinsItsNeighbour) {
    const auto segments = mergeFragments({fragment(0), fragment(1, 10)});
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].frames, 35);
    EXPECT_DOUBLE_EQ(segments[0].end, 1.4);
}

TEST(MergeFragments, NothingKeptIsNoSegment) {
    EXPECT_TRUE(mergeFragments({}).empty());
    EXPECT_DOUBLE_EQ(summaryDuration({}), 0.0);
}

TEST(MergeFragments, SummaryDurationAddsTheSegments) {
    EXPECT_DOUBLE_EQ(summaryDuration(mergeFragments({fragment(0), fragment(1), fragment(5)})), 3.0);
}

TEST(SegmentJson, ParsesWithEveryField) {
    SummaryReport r = report({{2.0, 5.0, 75}, {7.04, 8.04, 25}});
    r.settings.junkFilter = true;
    r.settings.depth = 40;
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(formatJson(r)), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject o = doc.object();
    EXPECT_EQ(o["video"].toString().toStdString(), "/videos/holiday.mp4");
    EXPECT_DOUBLE_EQ(o["duration"].toDouble(), 120.0);
    const QJsonObject s = o["settings"].toObject();
    EXPECT_DOUBLE_EQ(s["target"].toDouble(), 0.05);
    EXPECT_DOUBLE_EQ(s["length_weight"].toDouble(), 0.2);
    EXPECT_DOUBLE_EQ(s["continuity_weight"].toDouble(), 0.1);
    EXPECT_DOUBLE_EQ(s["redundancy_weight"].toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(s["activity_weight"].toDouble(), 0.05);
    EXPECT_EQ(s["depth"].toInt(), 40);
    EXPECT_EQ(s["nodes"].toInt(), 500);
    EXPECT_TRUE(s["junk_filter"].toBool());
    const QJsonArray segments = o["segments"].toArray();
    ASSERT_EQ(segments.size(), 2);
    EXPECT_DOUBLE_EQ(segments[1].toObject()["start"].toDouble(), 7.04);
    EXPECT_DOUBLE_EQ(segments[1].toObject()["end"].toDouble(), 8.04);
    EXPECT_EQ(segments[0].toObject()["frames"].toInt(), 75);
    EXPECT_DOUBLE_EQ(o["summary_duration"].toDouble(), 4.0);
}

TEST(SegmentJson, EmptySummaryIsValidJson) {
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(formatJson(report({}))), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_TRUE(doc.object()["segments"].toArray().isEmpty());
    EXPECT_DOUBLE_EQ(doc.object()["summary_duration"].toDouble(), 0.0);
}

TEST(SegmentJson, AwkwardFileNamesSurviveTheRoundTrip) {
    const std::string names[] = {"say \"hi\"\\back.mp4", "tab\there\nnewline.mp4",
                                 "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xac.mp4"};
    for (const std::string& name : names) {
        SummaryReport r = report({});
        r.video = name;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(formatJson(r)));
        ASSERT_TRUE(doc.isObject()) << name;
        EXPECT_EQ(doc.object()["video"].toString().toStdString(), name);
    }
}

TEST(SegmentJson, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(jsonString("a\xff"
                         "b"),
              "\"a\\ufffdb\"");
    EXPECT_EQ(jsonString("\xc3"), "\"\\ufffd\"");                       // cut short
    EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");            // overlong '/'
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\""); // a surrogate
}

TEST(SegmentCsv, HeaderThenOneRowPerSegment) {
    const auto rows = lines(formatCsv(report({{2.0, 5.0, 75}, {7.04, 8.04, 25}})));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "segment,start,end,duration,frames");
    EXPECT_EQ(rows[1], "1,2.000,5.000,3.000,75");
    EXPECT_EQ(rows[2], "2,7.040,8.040,1.000,25");
    EXPECT_EQ(lines(formatCsv(report({}))).size(), 1u);
}

TEST(Timecode, CountsHoursMinutesSecondsFrames) {
    EXPECT_EQ(timecode(0, 25), "00:00:00:00");
    EXPECT_EQ(timecode(24, 25), "00:00:00:24");
    EXPECT_EQ(timecode(25, 25), "00:00:01:00");
    EXPECT_EQ(timecode(25 * 3661 + 7, 25), "01:01:01:07");
    EXPECT_EQ(timecode(30 * 60, 30), "00:01:00:00");
}

TEST(Timecode, BaseIsTheNearestWholeRate) {
    EXPECT_EQ(timecodeBase(25, 1), 25);
    EXPECT_EQ(timecodeBase(30000, 1001), 30);
    EXPECT_EQ(timecodeBase(24000, 1001), 24);
    EXPECT_EQ(timecodeBase(60, 1), 60);
    EXPECT_EQ(timecodeBase(0, 0), 25);
}

TEST(SegmentEdl, EventsCarrySourceAndRecordTimecodes) {
    SummaryReport r = report({{2.0, 5.0, 75}, {61.04, 62.04, 25}});
    r.hasAudio = true;
    const auto rows = lines(formatEdl(r));
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], "TITLE: holiday.mp4 summary");
    EXPECT_EQ(rows[1], "FCM: NON-DROP FRAME");
    EXPECT_EQ(rows[2], "");
    EXPECT_EQ(rows[3],
              "001  AX       AA/V  C        00:00:02:00 00:00:05:00 00:00:00:00 00:00:03:00");
    EXPECT_EQ(rows[4], "* FROM CLIP NAME: holiday.mp4");
    EXPECT_EQ(rows[6],
              "002  AX       AA/V  C        00:01:01:01 00:01:02:01 00:00:03:00 00:00:04:00");
}

TEST(SegmentEdl, NtscRatesCountInThirtyAndVideoOnlyIsV) {
    SummaryReport r = report({{10.010, 11.011, 30}});
    r.frameRateNum = 30000;
    r.frameRateDen = 1001;
    const auto rows = lines(formatEdl(r));
    ASSERT_GE(rows.size(), 4u);
    // 10.010 s is frame 300 at 29.97 fps: 00:00:10:00 in 30-frame counting.
    EXPECT_EQ(rows[3],
              "001  AX       V     C        00:00:10:00 00:00:11:00 00:00:00:00 00:00:01:00");
}

TEST(SegmentEdl, ControlCharactersInNamesCannotBreakLines) {
    SummaryReport r = report({{0.0, 1.0, 25}});
    r.video = "evil\nname.mp4";
    for (const std::string& line : lines(formatEdl(r)))
        EXPECT_TRUE(line.empty() || line.rfind("TITLE:", 0) == 0 || line.rfind("FCM:", 0) == 0 ||
                    line.rfind("001", 0) == 0 || line.rfind("* FROM", 0) == 0)
            << line;
}

TEST(SegmentList, FormatListDispatches) {
    const SummaryReport r = report({{0.0, 1.0, 25}});
    EXPECT_EQ(formatList(r, ListFormat::Json), formatJson(r));
    EXPECT_EQ(formatList(r, ListFormat::Csv), formatCsv(r));
    EXPECT_EQ(formatList(r, ListFormat::Edl), formatEdl(r));
}

} // namespace

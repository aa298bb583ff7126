#include "HeadlessSummary.h"

#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> settingsArguments(const SummarySettings& s) {
    std::vector<std::string> a = {"-q",
                                  "--target=" + std::to_string(s.target),
                                  "--length-weight=" + std::to_string(s.lengthWeight),
                                  "--continuity-weight=" + std::to_string(s.continuityWeight),
                                  "--redundancy-weight=" + std::to_string(s.redundancyWeight),
                                  "--activity-weight=" + std::to_string(s.activityWeight),
                                  "--depth=" + std::to_string(s.depth),
                                  "--nodes=" + std::to_string(s.nodes)};
    if (s.junkFilter)
        a.push_back("--junk-filter");
    return a;
}

TEST(HeadlessSummary, TheProgramPrintsTheEnginesSegments) {
    SummarySettings junk;
    junk.junkFilter = true;
    SummarySettings longer;
    longer.depth = 20;
    longer.target = 0.3;
    longer.activityWeight = 0.6;
    for (const SummarySettings& settings : {SummarySettings{}, junk, longer}) {
        SCOPED_TRACE(settings.target);
        const std::string video = settings.depth == 20 ? demoVideo() : testMedia(kScenes);
        HeadlessSummary headless(video, settings);
        ASSERT_TRUE(headless.run({}));
        const std::vector<Segment> expected = mergeFragments(headless.keptFragments());

        std::vector<std::string> arguments = settingsArguments(settings);
        arguments.push_back(video);
        const ProgramRun run = runProgram(arguments);
        ASSERT_EQ(run.status, 0) << run.err;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(run.out));
        ASSERT_TRUE(doc.isObject()) << run.out;
        const QJsonArray segments = doc.object()["segments"].toArray();
        ASSERT_EQ(static_cast<size_t>(segments.size()), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            const QJsonObject s = segments[static_cast<int>(i)].toObject();
            EXPECT_NEAR(s["start"].toDouble(), expected[i].start, 0.0005);
            EXPECT_NEAR(s["end"].toDouble(), expected[i].end, 0.0005);
            EXPECT_EQ(s["frames"].toInt(), expected[i].frames);
        }
    }
}

TEST(HeadlessSummary, TargetLengthReachesTheEngine) {
    // Guards the comparisons above against settings that never reach the engine.
    SummarySettings brief;
    brief.depth = 20;
    SummarySettings longer = brief;
    longer.target = 0.5;
    HeadlessSummary a(demoVideo(), brief);
    HeadlessSummary b(demoVideo(), longer);
    ASSERT_TRUE(a.run({}));
    ASSERT_TRUE(b.run({}));
    int framesA = 0;
    int framesB = 0;
    for (const KeptFragment& f : a.keptFragments())
        framesA += f.frames;
    for (const KeptFragment& f : b.keptFragments())
        framesB += f.frames;
    EXPECT_GT(framesB, framesA);
}

TEST(HeadlessSummary, ProgressRisesToTheWholeVideoAndACallbackCanStopTheRun) {
    HeadlessSummary summary(testMedia(kScenes), {});
    double last = -1.0;
    int64_t lastPictures = -1;
    ASSERT_TRUE(summary.run({}, [&](double position, int64_t pictures) {
        EXPECT_GE(position, last);
        EXPECT_GE(pictures, lastPictures);
        last = position;
        lastPictures = pictures;
        return true;
    }));
    EXPECT_EQ(lastPictures, 250);
    EXPECT_NEAR(last, 10.0, 1e-9);

    int progressCalls = 0;
    EXPECT_FALSE(summary.run({}, [&](double, int64_t) { return ++progressCalls < 3; }));
    EXPECT_EQ(progressCalls, 3);
}

} // namespace

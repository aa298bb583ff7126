#include "HeadlessSummary.h"
#include "KeptPictures.h"
#include "VideoTestSupport.h"

#include "DecodingPass.h"
#include "Frame.h"
#include "FrameBuffer.h"
#include "HeadlessControls.h"
#include "TestMedia.h"
#include "ToolTestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

// A kept fragment as the player's playback consumer sees it.
struct Played {
    double firstFrameNumber;
    int frames;
    double start;
    double lastTime;
    std::vector<uint64_t> checksums; // of the pictures the player would show
};

// The player's decoding pass in Summary mode, started at 0, with a playback
// consumer that takes every frame as soon as it is handed on, so the buffer
// never paces the pass (and never starves: Avoid Empty Buffer is off).
std::vector<Played> playerPass(const std::string& path, const SummarySettings& s) {
    HeadlessControls controls(s);

    FrameBuffer playback(5000);
    DecodingPass pass(path.c_str(), &playback, controls.shared);
    pass.sleep = [](int) {};
    pass.start();
    std::vector<Played> played;
    double previousNumber = -10.0;
    for (int passes = 0; passes < 100000; ++passes) {
        const DecodingPass::Next next = pass.pass();
        QMutexLocker lock(playback.mutex);
        while (playback.count > 0) {
            Frame* frame = playback.getFrame();
            // Fragments are told apart by a break in the frame numbers.
            if (frame->frameNumber != previousNumber + 1.0 || played.back().frames == 25)
                played.push_back({frame->frameNumber, 0, frame->frameTime, 0.0, {}});
            played.back().frames += 1;
            played.back().lastTime = frame->frameTime;
            played.back().checksums.push_back(
                pictureChecksum(frame->avFrame, frame->width, frame->height));
            previousNumber = frame->frameNumber;
            delete frame;
        }
        if (next == DecodingPass::Next::Sleep && pass.endOfStream && pass.depth() == 0)
            break;
    }
    return played;
}

struct Case {
    const char* name;
    std::string video;
    SummarySettings settings;
};

std::vector<Case> cases() {
    SummarySettings junk;
    junk.junkFilter = true;
    SummarySettings shallow;
    shallow.depth = 20;
    shallow.nodes = 100;
    SummarySettings shallowJunk = shallow;
    shallowJunk.junkFilter = true;
    SummarySettings long_;
    long_.target = 0.3;
    long_.activityWeight = 0.6;
    return {
        {"scenes default", testMedia(kScenes), {}},
        {"scenes junk filter", testMedia(kScenes), junk},
        {"720p default", testMedia(kH264_720p), {}},
        {"demo depth 20", demoVideo(), shallow},
        {"demo depth 20 junk filter", demoVideo(), shallowJunk},
        {"demo target 0.3", demoVideo(), long_},
    };
}

// Each case's player pass is run once for all the tests that compare with it.
const std::vector<Played>& playerPassOf(const Case& c) {
    static std::map<std::string, std::vector<Played>> done;
    auto found = done.find(c.name);
    if (found == done.end())
        found = done.emplace(c.name, playerPass(c.video, c.settings)).first;
    return found->second;
}

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

TEST(HeadlessSummary, KeepsExactlyThePlayersFragments) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::vector<Played>& player = playerPassOf(c);

        HeadlessSummary headless(c.video, c.settings);
        // The pictures of the kept fragments, read again as the program
        // does for its video and sheet.
        KeptPictures again(c.video);
        std::vector<SummaryVideoWriter::TimedPicture> pictures;
        std::vector<std::vector<uint64_t>> checksums;
        ASSERT_TRUE(
            headless.run([&](const KeptFragment& fragment, const std::vector<Frame*>& frames) {
                for (const Frame* f : frames)
                    EXPECT_EQ(f->avFrame, nullptr); // only descriptors are held
                std::string error;
                EXPECT_TRUE(again.read(fragment, &pictures, &error)) << error;
                checksums.emplace_back();
                for (size_t i = 0; i < pictures.size(); ++i) {
                    EXPECT_DOUBLE_EQ(pictures[i].time, frames[i]->frameTime);
                    checksums.back().push_back(
                        pictureChecksum(pictures[i].picture, frames[i]->width, frames[i]->height));
                }
                return true;
            }));
        const std::vector<KeptFragment>& kept = headless.keptFragments();
        ASSERT_EQ(kept.size(), player.size());
        ASSERT_EQ(checksums.size(), kept.size());
        for (size_t i = 0; i < kept.size(); ++i) {
            EXPECT_EQ(static_cast<double>(kept[i].firstFrameNumber), player[i].firstFrameNumber);
            EXPECT_EQ(kept[i].frames, player[i].frames);
            EXPECT_DOUBLE_EQ(kept[i].start, player[i].start);
            EXPECT_DOUBLE_EQ(kept[i].end, player[i].lastTime + 1.0 / 25.0);
            EXPECT_EQ(checksums[i], player[i].checksums) << "fragment " << i;
        }
        EXPECT_GT(headless.picturesDecoded(), 0);
    }
}

TEST(HeadlessSummary, ProgramPrintsThePlayersSegments) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const std::vector<Played>& player = playerPassOf(c);
        // Merge the player's fragments by time: a gap over 1.5 frames starts a segment.
        struct Span {
            double start, end;
            int frames;
        };
        std::vector<Span> expected;
        for (const Played& p : player) {
            if (!expected.empty() && p.start - expected.back().end < 0.5 / 25.0) {
                expected.back().end = p.lastTime + 0.04;
                expected.back().frames += p.frames;
            } else {
                expected.push_back({p.start, p.lastTime + 0.04, p.frames});
            }
        }

        std::vector<std::string> arguments = settingsArguments(c.settings);
        arguments.push_back(c.video);
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
    // Guards the equality tests against settings that never reach the engine.
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

TEST(HeadlessSummary, CallbackCanStopTheRun) {
    HeadlessSummary summary(testMedia(kScenes), {});
    int progressCalls = 0;
    EXPECT_FALSE(summary.run({}, [&](double, int64_t) { return ++progressCalls < 3; }));
    EXPECT_EQ(progressCalls, 3);
}

TEST(HeadlessSummary, ProgressRisesToTheWholeVideo) {
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
}

} // namespace

#include "PlayerLoopFixture.h"

#include "Analysis.h"
#include "DescriptorFile.h"
#include "FragmentDecoder.h"
#include "FrameBuffer.h"
#include "HeadlessSummary.h"
#include "SegmentDistanceMemo.h"
#include "SegmentList.h"
#include "StoredVideo.h"

#include <map>
#include <tuple>

namespace {

TEST_F(PlayerLoopTest, PlayFillsTheBufferUpToItsFrameOrByteBoundWithRunningNumbers) {
    const int64_t picture = 320 * 240 * 3 / 2;
    // While a summary is saved, half the bytes; a save that starts in a
    // pause takes them from a full buffer, which plays on from the picture shown.
    enum Saving { No, Yes, InAPause };
    std::vector<double> pictureTimes; // of the video's first pictures
    const std::tuple<int32_t, int64_t, Saving, int> bounds[] = {{100, int64_t{1} << 40, No, 100},
                                                                {200, 40 * picture, No, 40},
                                                                {200, 40 * picture, Yes, 20},
                                                                {200, 40 * picture, InAPause, 20}};
    for (auto [frames, bytes, saving, expected] : bounds) {
        take();
        open(PlayerMode::Play);
        bound(frames, bytes);
        setSaving(saving == Yes);
        fill();
        if (saving == InAPause) {
            mode(PlayerMode::Pause);
            loop->pass();
            shown(playback->tryGet()->item.frameTime);
            setSaving(true);
            fill();
        }
        EXPECT_EQ(static_cast<int>(playback->size()), expected);
        // Running numbers; after the pause, the pictures from the second on.
        std::vector<double> times;
        std::optional<int32_t> number;
        while (const auto entry = playback->tryGet()) {
            EXPECT_EQ(entry->item.frameNumber, number ? *number + 1 : entry->item.frameNumber);
            number = entry->item.frameNumber;
            times.push_back(entry->item.frameTime);
        }
        if (saving != InAPause)
            pictureTimes = times;
        else
            EXPECT_EQ(times, std::vector(pictureTimes.begin() + 1, pictureTimes.begin() + 21));
    }
    setSaving(false);
}

TEST_F(PlayerLoopTest, PlayHandsOnEveryFrameInOrderAndWaitsQuietlyWhenFullOrAtTheEnd) {
    open(PlayerMode::Play);
    bound(30);
    std::vector<double> times;
    for (bool atTheEnd : {false, true}) {
        SCOPED_TRACE(atTheEnd);
        fill();
        const int calls = driver.calls;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(loop->pass(), PlayerLoop::Next::Wait);
        EXPECT_EQ(driver.calls, calls);
        if (!atTheEnd) {
            times = take();
            const std::vector<double> rest = runToEnd();
            times.insert(times.end(), rest.begin(), rest.end());
        }
    }
    EXPECT_TRUE(loop->ended());
    ASSERT_EQ(static_cast<int>(times.size()), kScenesFrames);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]);
}

TEST_F(PlayerLoopTest, ASeekAndAModeChangeRestartAtTheirSecond) {
    // A seek in Play drops the summary's segments after it from the timeline.
    chosen.summary.target = 0.5;
    open(PlayerMode::Summary);
    runToEnd();
    const std::vector<double> segments = loop->segmentTimes();
    ASSERT_GE(segments.size(), 2u);
    ASSERT_GT(segments.back(), 1.0);
    const double target = segments.back() - 0.5;
    mode(PlayerMode::Play);
    seek(target);
    loop->pass();
    EXPECT_EQ(core.screen.restartTime, target) << "where the screen's position goes";
    EXPECT_EQ(loop->segmentTimes(), std::vector(segments.begin(), segments.end() - 1));
    ASSERT_FALSE(playback->empty());
    const std::vector<double> first = take(1);
    EXPECT_GE(first[0], target);
    EXPECT_LT(first[0], target + 0.5);

    // Summary starts at the second shown, with an empty tree.
    shown(3.7);
    mode(PlayerMode::Summary);
    loop->pass();
    EXPECT_EQ(core.screen.restartTime, 3.0);
    EXPECT_TRUE(playback->empty());
    ASSERT_EQ(loop->summaryEngine().summaryTree().levelsAdded, 1);
    EXPECT_EQ(loop->summaryEngine().summaryTree().levelsAdvanced, 0);
    EXPECT_EQ(loop->summaryEngine().frontTime(), 3);
}

TEST_F(PlayerLoopTest, ANewRankingRebuildsOnceWhereThePictureIsAndOtherSettingsDoNot) {
    open(PlayerMode::Play);
    loop->pass();
    shown(2);
    const int64_t restarts = loop->restarts();
    // The tree limits and the options apply without a restart.
    PlayerSettings limits = chosen;
    limits.summary.depth = 30;
    limits.automaticControl = true;
    board.publish(limits);
    loop->pass();
    EXPECT_EQ(loop->restarts(), restarts);
    // Weights settled on the window's side: one snapshot, one rebuild.
    PlayerSettings weights = limits;
    weights.summary.target = 0.2;
    weights.summary.lengthWeight = 0.5;
    board.publishRanking(weights);
    loop->pass();
    loop->pass();
    EXPECT_EQ(loop->restarts(), restarts + 1);
    EXPECT_EQ(loop->summaryEngine().settings().target, 0.2);
    ASSERT_FALSE(playback->empty());
    const std::vector<double> first = take(1);
    EXPECT_GE(first[0], 2.0);
    EXPECT_LT(first[0], 2.5);
}

TEST_F(PlayerLoopTest, AutomaticControlScalesTheLimitsWithTheBufferFill) {
    open(PlayerMode::Pause);
    const std::tuple<int, bool, int, int> cases[] = {
        {150, true, 30, 300}, {0, true, 20, 100}, {0, false, 60, 500}};
    for (auto [buffered, automatic, depth, nodes] : cases) {
        playback->flush();
        for (int i = 0; i < buffered; ++i) {
            PictureFrame frame;
            playback->tryPut(frame);
        }
        chosen.automaticControl = automatic;
        board.publish(chosen);
        loop->pass();
        // The tree strips show the limits in force.
        EXPECT_EQ(driver.depth, depth) << buffered << automatic;
        EXPECT_EQ(driver.nodes, nodes) << buffered << automatic;
    }
}

TEST_F(PlayerLoopTest, AvoidEmptyBufferPlaysADecidedFragmentTheTreeLeftOut) {
    // With only the length weight and a target of 0, the empty summary wins every level.
    SummarySettings& s = chosen.summary;
    s.target = s.continuityWeight = s.redundancyWeight = s.activityWeight = 0.0;
    s.depth = 20;
    for (bool avoidEmpty : {false, true}) {
        SCOPED_TRACE(avoidEmpty);
        chosen.avoidEmptyBuffer = avoidEmpty;
        open(PlayerMode::Summary);
        const std::vector<double> kept = runToEnd();
        EXPECT_EQ(kept.empty(), !avoidEmpty);
        EXPECT_EQ(loop->segmentTimes().size() > 1, avoidEmpty);
        EXPECT_EQ(loop->framesHandedOn(), kScenesFrames);
    }
}

// The fragments kept are those of a headless run, whatever the pace of
// playback: a shallow tree decides most levels on the way, one deeper than
// the video all of them at its end; a small buffer drained slowly holds
// decisions back. With shot-aware ranking the pieces cut at the shots are
// played, the same frames as the headless run's.
TEST_F(PlayerLoopTest, SummaryKeepsTheHeadlessRunsFragmentsWhateverThePaceOfPlayback) {
    struct Case {
        const char* video;
        int frames, depth;
        double share;
        int32_t buffer;
        int drain;
        bool shotAware;
        bool wholeSpeech = false;
    };
    const Case cases[] = {{kScenes, kScenesFrames, 2, 0.3, 30, 3, false},
                          {kScenes, kScenesFrames, 90, 0.05, 300, 300, false},
                          {kCuts, 150, 2, 1.0, 30, 3, true},
                          {kTalk, 450, 3, 0.3, 30, 3, false, true},
                          {kTalk, 450, 20, 0.2, 300, 300, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        SummarySettings& settings = chosen.summary;
        settings.depth = c.depth;
        settings.target = c.share;
        settings.shotAware = c.shotAware;
        settings.wholeSpeech = c.wholeSpeech;
        HeadlessSummary headless(testMedia(c.video), settings);
        ASSERT_TRUE(headless.run({}));
        std::vector<double> expected;
        for (const KeptFragment& f : headless.keptFragments())
            for (int k = 0; k < f.frames; ++k)
                expected.push_back(f.start + k / 25.0);

        open(PlayerMode::Summary, c.video);
        bound(c.buffer);
        const std::vector<double> played = runToEnd(c.drain);
        EXPECT_TRUE(loop->summaryEngine().finished());
        // Every decided fragment counts, kept or not, the last one included;
        // each kept one marks its start on the timeline.
        EXPECT_EQ(loop->framesHandedOn(), c.frames);
        EXPECT_EQ(loop->segmentTimes().size(), 1 + headless.keptFragments().size());
        ASSERT_FALSE(played.empty());
        ASSERT_EQ(played.size(), expected.size());
        for (size_t i = 0; i < played.size(); ++i)
            EXPECT_NEAR(played[i], expected[i], 1e-9) << i;
        // Shot-aware pieces lie between the cuts (frames 38, 90 and 125),
        // and what plays of a shot lasts a second at least.
        for (const KeptFragment& f : headless.keptFragments()) {
            const int64_t from = f.firstFrameNumber - 1; // numbered from 1
            for (const int cut : {38, 90, 125})
                EXPECT_FALSE(c.shotAware && !c.wholeSpeech && from < cut && cut < from + f.frames)
                    << from;
        }
        for (const Segment& s : mergeFragments(headless.keptFragments()))
            EXPECT_TRUE(!c.shotAware || c.wholeSpeech || s.frames >= 25) << s.start;
    }
}

// A frame step back in a pause decodes from the key frame before it, on a
// file with B-frames too, and a step on comes back to the same picture;
// playing on goes on from it.
TEST_F(PlayerLoopTest, StepsBackAndOnInAPauseShowTheNeighbouringPicturesByChecksum) {
    open(PlayerMode::Play, kH264Aac);
    std::vector<std::pair<double, uint64_t>> straight;
    while (const auto picture = next())
        straight.push_back(*picture);
    ASSERT_EQ(straight.size(), 100u);
    // Key frames every 25 pictures: steps across them and beside them.
    for (const int shownAt : {1, 24, 25, 26, 51}) {
        SCOPED_TRACE(shownAt);
        open(PlayerMode::Play, kH264Aac);
        for (int k = 0; k <= shownAt; ++k)
            ASSERT_EQ(next(), straight[k]);
        shown(straight[shownAt].first);
        mode(PlayerMode::Pause);
        loop->pass();
        core.screen.steps = 0;
        core.submit(command::StepPictures{-1});
        EXPECT_EQ(next(), straight[shownAt - 1]);
        EXPECT_EQ(core.screen.steps, 1);
        core.submit(command::StepPictures{1});
        EXPECT_EQ(next(), straight[shownAt]);
        mode(PlayerMode::Play);
        EXPECT_EQ(next(), straight[shownAt + 1]);
    }
    // A seek in a pause shows the picture there at once; playing goes on after it.
    mode(PlayerMode::Pause);
    loop->pass();
    core.screen.steps = 0;
    seek(2);
    EXPECT_EQ(next(), straight[50]);
    EXPECT_EQ(core.screen.steps, 1);
    shown(straight[50].first);
    mode(PlayerMode::Play);
    EXPECT_EQ(next(), straight[51]);
}

// A new speed places what follows the picture on screen closer together
// (or further apart) on the timeline, and changes no summary decision.
TEST_F(PlayerLoopTest, ANewSpeedGoesOnFromThePictureShownAtItsPaceAndKeepsTheSummary) {
    chosen.summary.depth = 2;
    chosen.summary.target = 0.3;
    for (const PlayerMode mode : {PlayerMode::Play, PlayerMode::Summary}) {
        std::vector<double> expected;
        open(mode, kCuts);
        bound(30);
        while (const auto picture = next())
            expected.push_back(picture->first);
        ASSERT_GT(expected.size(), 40u);

        open(mode, kCuts);
        bound(30);
        std::vector<double> played;
        for (const double speed : {1.5, 0.5}) {
            SCOPED_TRACE(speed);
            for (int k = 0; k < 20; ++k)
                played.push_back(next()->first);
            shown(played.back());
            PlayerSettings faster = chosen;
            faster.speed = speed;
            board.publish(faster);
            const double from = next()->first;
            const double start = lastPlayTime;
            const double to = next()->first;
            EXPECT_NEAR(lastPlayTime - start, (to - from) / speed, 1e-9);
            played.insert(played.end(), {from, to});
        }
        while (const auto picture = next())
            played.push_back(picture->first);
        EXPECT_EQ(played, expected);
    }
}

} // namespace

namespace {

// The whole analysis of a video, as the store would hold it.
std::shared_ptr<const StoredVideo> analysed(const char* video) {
    AnalysisSources sources;
    sources.keepPortable = true;
    ReaderOptions options;
    options.audio = false;
    Analysis analysis(testMedia(video), options, sources);
    while (analysis.fragments().nextFragment()) {
    }
    PortableAnalysis whole;
    if (!analysis.portable(&whole))
        return nullptr;
    return StoredVideo::fromChunks(std::move(whole.chunks), whole.frameRate);
}

// Runs of consecutive frame times as spans, each to its last frame's end.
std::vector<std::pair<double, double>> spansOf(const std::vector<double>& times) {
    std::vector<std::pair<double, double>> spans;
    for (double t : times) {
        if (spans.empty() || std::abs(spans.back().second - t) > 0.02)
            spans.emplace_back(t, t);
        spans.back().second = t + 0.04;
    }
    return spans;
}

} // namespace

// Summary from the stored descriptors plays exactly what the live tree
// plays, from the start or after a seek (on a key frame, between two, past
// B-frames), without decoding for analysis; the map computed from the same
// start shows those very spans, and from the start it is the tool's summary.
TEST_F(PlayerLoopTest, SummaryFromTheStoreDecidesAsTheLiveTreeAndTheMapShowsIt) {
    struct Case {
        const char* video;
        double start;
        int depth;
        double share;
        bool shotAware;
        bool wholeSpeech = false;
    };
    const Case cases[] = {{kScenes, 0.0, 20, 0.3, false},
                          {kScenes, 2.5, 30, 0.3, false},
                          {kH264Aac, 1.3, 3, 0.5, false},
                          {kCuts, 0.0, 2, 1.0, true},
                          {kTalk, 0.0, 5, 0.3, true, true}};
    // Distances kept from one map of a video to the next, as the player
    // keeps them: the second map of the scenes starts on other fragments.
    std::map<std::string, SegmentDistanceMemo> memos;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.video) + " at " + std::to_string(c.start));
        chosen.summary.depth = c.depth;
        chosen.summary.target = c.share;
        chosen.summary.shotAware = c.shotAware;
        chosen.summary.wholeSpeech = c.wholeSpeech;
        const std::shared_ptr<const StoredVideo> video = analysed(c.video);
        ASSERT_TRUE(video);
        StoreBoard stored;
        stored.publish(video);
        std::vector<double> played[2];
        for (StoreBoard* from : {static_cast<StoreBoard*>(nullptr), &stored}) {
            storeBoard = from;
            open(PlayerMode::Play, c.video);
            seek(c.start);
            mode(PlayerMode::Summary);
            played[from != nullptr] = runToEnd();
            ASSERT_TRUE(loop->summaryEngine().finished());
        }
        EXPECT_EQ(loop->picturesAnalysed(), 0);
        ASSERT_FALSE(played[0].empty());
        EXPECT_EQ(played[1], played[0]);

        ASSERT_EQ(stored.summaryStartSeconds(), c.start);
        std::vector<MapSpan> map;
        const size_t first = video->seekIndex(c.start, stored.ticksPerSecond());
        SegmentDistanceMemo& memo = memos[c.video];
        const size_t kept = memo.size();
        ASSERT_TRUE(summarizeStored(
            video, first, chosen.summary, map, [] { return true; }, &memo));
        EXPECT_GT(memo.size(), kept);
        const std::vector<std::pair<double, double>> expected = spansOf(played[0]);
        ASSERT_EQ(map.size(), expected.size());
        for (size_t i = 0; i < map.size(); ++i) {
            EXPECT_NEAR(map[i].start, expected[i].first, 1e-6) << i;
            EXPECT_NEAR(map[i].end, expected[i].second, 1e-6) << i;
        }
        if (c.start > 0.0)
            continue;
        HeadlessSummary headless(testMedia(c.video), chosen.summary);
        ASSERT_TRUE(headless.run({}));
        std::vector<double> tool;
        for (const KeptFragment& f : headless.keptFragments())
            for (int k = 0; k < f.frames; ++k)
                tool.push_back(f.start + k / 25.0);
        EXPECT_EQ(spansOf(tool).size(), map.size());
        ASSERT_EQ(tool.size(), played[1].size());
        for (size_t i = 0; i < tool.size(); ++i)
            EXPECT_NEAR(tool[i], played[1][i], 1e-9) << i;
    }
}

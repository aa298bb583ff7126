// The store's side of the player on its threads: it glances at the key
// frames and analyses a video once, finds it again whole in the store, and
// draws the map again when the settings change; an unusable store leaves the player as it was.

#include "StoreSide.h"

#include "PlayerLoop.h"

#include "TestMedia.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace {

namespace fs = std::filesystem;

// What the hooks were told, for the test's thread to wait on.
struct Seen {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<double> analysed;
    std::vector<MapSpan> map;
    int wholeMaps = 0;
    std::vector<MapSpan> provisionalMap; // the last whole one

    StoreSide::Hooks hooks() {
        return {[this](double seconds) {
                    const std::lock_guard lock(mutex);
                    analysed.push_back(seconds);
                },
                [this](const std::vector<MapSpan>& spans, bool whole) {
                    const std::lock_guard lock(mutex);
                    map = spans;
                    wholeMaps += whole ? 1 : 0;
                    changed.notify_all();
                },
                [this](const std::vector<MapSpan>& spans, bool whole) {
                    const std::lock_guard lock(mutex);
                    if (whole)
                        provisionalMap = spans;
                }};
    }
    bool waitForWholeMaps(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return wholeMaps >= count; });
    }
};

std::vector<MapSpan> expectedMap(const StoreSide& side, const SummarySettings& settings,
                                 bool provisional = false) {
    std::vector<MapSpan> spans;
    summarizeStored(provisional ? side.board.standInVideo() : side.board.video(), 0, settings,
                    spans, [] { return true; });
    return spans;
}

void expectSameSpans(const std::vector<MapSpan>& a, const std::vector<MapSpan>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].start, b[i].start) << i;
        EXPECT_EQ(a[i].end, b[i].end) << i;
    }
}

} // namespace

TEST(StoreSideTest, AnalysesOnceFindsTheVideoAgainAndRedrawsTheMapOnEveryChange) {
    StoreConfig config;
    config.folder = (fs::path(testing::TempDir()) / "store-side").string();
    fs::remove_all(config.folder);
    SettingsBoard settings;
    PlayerSettings chosen;
    chosen.summary.target = 0.3;
    settings.publish(chosen);

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Seen seen;
        StoreSide side(testMedia(kScenes), config, settings, seen.hooks());
        // At the lowest priority, a loaded machine could hold it back for minutes.
        side.analysisNiceness = 0;
        side.start();
        ASSERT_TRUE(seen.waitForWholeMaps(1));
        ASSERT_TRUE(side.board.video());
        EXPECT_EQ(side.board.video()->frames(), 250u);
        {
            const std::lock_guard lock(seen.mutex);
            ASSERT_FALSE(seen.analysed.empty());
            EXPECT_DOUBLE_EQ(seen.analysed.back(), 10.0);
            // The second run reads the whole analysis back at once.
            if (run == 1) {
                EXPECT_EQ(seen.analysed.size(), 1u);
            }
            expectSameSpans(seen.map, expectedMap(side, chosen.summary));
            EXPECT_FALSE(seen.map.empty());
            // The key frames first on a fresh store; none once it is whole.
            EXPECT_EQ(side.glanceSeconds >= 0.0, run == 0);
            if (run == 0) {
                ASSERT_TRUE(side.board.standInVideo());
                EXPECT_EQ(side.board.standInVideo()->frames(), 250u);
            }
            // Drawn whole unless the exact map came first, as on a small file it may.
            if (!seen.provisionalMap.empty())
                expectSameSpans(seen.provisionalMap, expectedMap(side, chosen.summary, true));
        }
        chosen.summary.target = run == 0 ? 0.1 : 0.3;
        chosen.summary.shotAware = run == 1;
        settings.publishRanking(chosen);
        ASSERT_TRUE(seen.waitForWholeMaps(2));
        const std::lock_guard lock(seen.mutex);
        expectSameSpans(seen.map, expectedMap(side, chosen.summary));
    }
}

// A summary from the first picture of a fresh video decodes every picture
// the store's analysis would: it makes that analysis, and the store side's
// own pass gives way instead of decoding the video a second time.
TEST(StoreSideTest, ASummaryFromTheFirstPictureMakesTheStoresAnalysis) {
    StoreConfig config;
    config.folder = (fs::path(testing::TempDir()) / "store-side-live").string();
    fs::remove_all(config.folder);
    SettingsBoard settings;
    PlayerSettings chosen;
    chosen.summary.target = 0.3;
    settings.publish(chosen);
    Seen seen;
    StoreSide side(testMedia(kScenes), config, settings, seen.hooks());
    side.analysisNiceness = 0;
    side.start();
    PlayerCore core;
    core.begin(PlayerMode::Summary, 0.0, false);
    const auto queue = makePlaybackQueue();
    PlayerLoop loop(testMedia(kScenes), *queue, core, settings);
    loop.setStoreBoard(&side.board);
    loop.start();
    for (int pass = 0; pass < 100000 && !(loop.ended() && queue->empty()); ++pass) {
        loop.pass();
        while (queue->tryGet()) {
        }
    }
    ASSERT_TRUE(loop.ended());
    ASSERT_TRUE(seen.waitForWholeMaps(1));
    ASSERT_TRUE(side.board.video());
    EXPECT_EQ(side.board.video()->frames(), 250u);
    EXPECT_LT(side.picturesDecoded, 250) << "the store side decoded the video again";
    // What was recorded summarises as the live summary did: the same
    // fragments (a second each at 25 frames a second) kept.
    std::vector<double> starts;
    for (const MapSpan& span : expectedMap(side, chosen.summary))
        for (double start = span.start; start < span.end - 0.5; start += 1.0)
            starts.push_back(start);
    const std::vector<double>& handedOn = loop.segmentTimes();
    EXPECT_EQ(starts, std::vector(handedOn.begin() + 1, handedOn.end()));
}

TEST(StoreSideTest, AnUnusableOrSwitchedOffStoreAnalysesNothing) {
    const fs::path blocker = fs::path(testing::TempDir()) / "store-side-blocker";
    fs::remove_all(blocker);
    { std::ofstream(blocker) << "a file where the folder would be"; }
    StoreConfig unusable;
    unusable.folder = (blocker / "tessaro").string();
    for (const StoreConfig& config : {unusable, StoreConfig::off()}) {
        SettingsBoard settings;
        Seen seen;
        {
            StoreSide side(testMedia(kScenes), config, settings, seen.hooks());
            side.start();
        }
        EXPECT_TRUE(seen.analysed.empty());
        EXPECT_EQ(seen.wholeMaps, 0);
    }
}

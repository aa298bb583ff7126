#pragma once

// The descriptor store's side of the video playing. A low-priority thread
// first glances at the key frames (see Glance: thumbnails over the whole
// timeline, and a stand-in for a provisional map), then analyses the whole
// file while it plays (the tool's Analysis, so that the entries are
// interchangeable with the tool's), unless the store already holds it whole; then the stored video goes on the board for Summary mode.
// Another thread computes the summary map from it: the whole video's
// summary from the start, or from where Summary started while it runs, with
// the settings in force, again whenever they change. A store that cannot be
// used says so once on standard error, and nothing more happens.

#include "DescriptorStore.h"
#include "PlayerSettings.h"
#include "SegmentDistanceMemo.h"
#include "StoredVideo.h"
#include "Worker.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// How far the player's analysis of a video has got, for a save of its
// summary that waits for it rather than decoding the video a second time.
struct AnalysisProgress {
    std::atomic<double> seconds{0.0};
    // It has ended: the store holds the whole analysis, or never will from it.
    std::atomic<bool> ended{false};
};

class StoreSide {
public:
    // Called on the workers' threads.
    struct Hooks {
        // The analysis (stored or made) reaches this second of the video.
        std::function<void(double seconds)> analysed;
        // The map's kept spans so far; whole when the summary reached the end.
        std::function<void(const std::vector<MapSpan>& spans, bool whole)> map;
        // The same of the provisional map, drawn from the key frames alone
        // while the analysis is not whole (see Glance).
        std::function<void(const std::vector<MapSpan>& spans, bool whole)> provisionalMap;
    };

    // The map thread is woken by every publication of the settings.
    StoreSide(std::string path, StoreConfig config, SettingsBoard& settings, Hooks hooks);
    // Stops and joins both threads.
    ~StoreSide();
    StoreSide(const StoreSide&) = delete;
    StoreSide& operator=(const StoreSide&) = delete;

    void start();
    void stop();
    // The analysis has ended: the stored video is on the board, or there
    // will be none (no store, a video that cannot be analysed, a stop).
    bool analysisEnded() const { return progress->ended; }
    // The analysis of the video at path under way in this process, or null.
    static std::shared_ptr<const AnalysisProgress> analysisUnderWay(const std::string& path);

    // The analysis thread's niceness (19, the lowest priority, unless set
    // before start).
    int analysisNiceness = 19;

    StoreBoard board;
    // Whole maps drawn so far, for whoever waits for the next.
    std::atomic<int64_t> mapsDrawn{0};
    // Maps handed to the hook, whole or not yet.
    std::atomic<int64_t> mapsPosted{0};
    // Pictures its own analysis decoded (not those a live summary recorded).
    std::atomic<int64_t> picturesDecoded{0};
    // Seconds from start() until the key frames' thumbnails over the whole
    // timeline were in the store, the first whole provisional map, and the
    // first whole exact one (negative until then).
    std::atomic<double> glanceSeconds{-1.0};
    std::atomic<double> provisionalMapSeconds{-1.0};
    std::atomic<double> exactMapSeconds{-1.0};

private:
    void analyse();
    // Puts the complete entry under key on the board; false when there is
    // none (or it is damaged, and then dropped).
    bool takeComplete(DescriptorStore& store, const VideoKey& key);
    // One pass of the analysis here; true when it gave way to a live summary.
    bool analysedHere(DescriptorStore& store, const VideoKey& key);
    // Hands the analysis over to the live summary and follows its
    // recording; true when it recorded the whole video (or a stop came).
    bool followLive(DescriptorStore& store, const VideoKey& key);
    // The glance at the key frames, from the store or taken now and stored,
    // and the stand-in made of it on the board; false when it gave way to a
    // live summary before its end.
    bool glance(DescriptorStore& store, const VideoKey& key);
    double sinceStart() const;
    void drawMaps();
    // One map (of the stand-in when provisional); false when it was cut
    // short by a stop or a change.
    bool drawMap(const std::shared_ptr<const StoredVideo>& video, const SummarySettings& settings,
                 double start, bool provisional);

    const std::string path;
    const StoreConfig config;
    SettingsBoard& settingsBoard;
    const Hooks hooks;
    std::chrono::steady_clock::time_point started;
    const std::shared_ptr<AnalysisProgress> progress = std::make_shared<AnalysisProgress>();
    // The distances the maps measured, and the video they belong to (the
    // map thread's own): a redrawn map compares no fragments again.
    std::unique_ptr<SegmentDistanceMemo> distances;
    std::shared_ptr<const StoredVideo> distancesOf;
    Worker analysis;
    Worker mapping{&board.changed};
};

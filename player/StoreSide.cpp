#include "StoreSide.h"

#include "Analysis.h"
#include "FreedMemory.h"
#include "Glance.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr const char* kNotice = "tessaro: %s\n";
// Few decoder threads, so that playing keeps the cores it needs.
constexpr int kAnalysisThreads = 2;
// How often the band and a map still being computed are redrawn, and the
// settings looked at while nothing else wakes the map's thread.
constexpr auto kRedrawPeriod = std::chrono::milliseconds(250);
constexpr auto kSettingsPoll = std::chrono::milliseconds(50);

// The analyses under way, by the path they were opened with.
std::mutex underWayMutex;
std::map<std::string, std::weak_ptr<AnalysisProgress>> underWay;

void tell(const std::string& notice) {
    if (notice.empty())
        return;
    std::fprintf(stderr, kNotice, notice.c_str());
    std::fflush(stderr);
}

} // namespace

StoreSide::StoreSide(std::string videoPath, StoreConfig storeConfig, SettingsBoard& settings,
                     Hooks callbacks)
    : path(std::move(videoPath)), config(std::move(storeConfig)), settingsBoard(settings),
      hooks(std::move(callbacks)) {
    settingsBoard.setWatcher(&board.changed);
}

StoreSide::~StoreSide() {
    settingsBoard.dropWatcher(&board.changed);
    stop();
}

std::shared_ptr<const AnalysisProgress> StoreSide::analysisUnderWay(const std::string& path) {
    const std::lock_guard lock(underWayMutex);
    const auto found = underWay.find(path);
    if (found == underWay.end())
        return nullptr;
    std::shared_ptr<const AnalysisProgress> progress = found->second.lock();
    return progress && !progress->ended ? progress : nullptr;
}

void StoreSide::start() {
    if (!config.enabled) {
        progress->ended = true;
        return;
    }
    started = std::chrono::steady_clock::now();
    board.handOver.expect();
    {
        const std::lock_guard lock(underWayMutex);
        for (auto it = underWay.begin(); it != underWay.end();)
            it = it->second.expired() ? underWay.erase(it) : std::next(it);
        underWay[path] = progress;
    }
    analysis.start([this] {
        analyse();
        progress->ended = true;
    });
    mapping.start([this] { drawMaps(); });
}

void StoreSide::stop() {
    analysis.requestStop();
    mapping.requestStop();
    analysis.stop();
    mapping.stop();
}

bool StoreSide::takeComplete(DescriptorStore& store, const VideoKey& key) {
    const std::optional<StoredEntry> entry = store.find(key);
    if (!entry || !entry->complete)
        return false;
    std::shared_ptr<const StoredVideo> video = StoredVideo::load(store, *entry);
    if (!video) {
        store.forgetDamaged(entry->id);
        return false;
    }
    progress->seconds = video->seconds();
    if (hooks.analysed)
        hooks.analysed(video->seconds());
    board.publish(std::move(video));
    return true;
}

void StoreSide::analyse() {
    // The analysis takes what playing leaves idle. Threads made from here on
    // (the decoder's own) inherit the niceness.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), analysisNiceness);
    // However it ends, a summary waiting to take the analysis over hears of it.
    struct Closing {
        AnalysisHandOver& handOver;
        ~Closing() { handOver.close(); }
    } closing{board.handOver};
    std::string notice;
    const std::unique_ptr<DescriptorStore> store = DescriptorStore::open(config, &notice);
    if (!store) {
        tell(notice);
        return;
    }
    const VideoKey key = videoKey(path, storedAnalysisOptions());
    if (!key.valid() || takeComplete(*store, key)) {
        tell(store->takeNotice());
        return;
    }
    bool glanced = false;
    while (!analysis.stopRequested()) {
        if (board.handOver.frontWanted()) {
            if (followLive(*store, key))
                return;
            continue; // the summary left before the end: the analysis is made here again
        }
        if (!glanced) {
            glanced = glance(*store, key);
            continue;
        }
        if (!analysedHere(*store, key))
            return;
    }
}

double StoreSide::sinceStart() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

bool StoreSide::glance(DescriptorStore& store, const VideoKey& key) {
    std::optional<Glance> seen = storedGlance(store, key);
    if (!seen) {
        // It gives way to a live summary at once, and is taken again from
        // the start should that summary leave before the end.
        seen = glanceAt(path, [this] {
            return !analysis.stopRequested() && !board.handOver.frontWanted();
        });
        if (!seen)
            return !board.handOver.frontWanted();
        store.putGlance(key, packGlance(*seen));
    }
    if (seen->pictures.empty())
        return true;
    glanceSeconds = sinceStart();
    board.publishStandIn(StoredVideo::fromChunks(standInChunks(*seen), standInRate(*seen)));
    return true;
}

bool StoreSide::analysedHere(DescriptorStore& store, const VideoKey& key) {
    // Under the key of the tool's analysis, which decodes on every core.
    const ReaderOptions keyed = storedAnalysisOptions();
    ReaderOptions options = keyed;
    options.decoderThreads = std::min(kAnalysisThreads, keyed.decoderThreads);
    try {
        AnalysisSources sources = AnalysisSources::storeOnly(config);
        sources.keyThreads = keyed.decoderThreads;
        Analysis running(path, options, sources);
        FragmentSource& fragments = running.fragments();
        const auto counted = [this, &fragments] { picturesDecoded += fragments.picturesRead(); };
        auto redraw = std::chrono::steady_clock::now();
        while (!analysis.stopRequested() && fragments.nextFragment()) {
            // A summary from the first picture makes this same pass.
            if (board.handOver.frontWanted()) {
                counted();
                return true;
            }
            const double seconds =
                static_cast<double>(fragments.picturesRead()) / fragments.frameRate();
            progress->seconds = seconds;
            const auto now = std::chrono::steady_clock::now();
            if (now >= redraw && hooks.analysed) {
                hooks.analysed(seconds);
                redraw = now + kRedrawPeriod;
            }
        }
        counted();
        for (std::string notice = running.takeNotice(); !notice.empty();
             notice = running.takeNotice())
            tell(notice);
    } catch (const std::exception&) {
        // The video cannot be analysed to its end: it plays on without the store.
        return false;
    }
    if (!analysis.stopRequested())
        takeComplete(store, key);
    tell(store.takeNotice());
    return false;
}

bool StoreSide::followLive(DescriptorStore& store, const VideoKey& key) {
    const auto stopped = [this] { return analysis.stopRequested(); };
    std::string notice;
    std::unique_ptr<DescriptorStore> recordIn = DescriptorStore::open(config, &notice);
    if (!recordIn) {
        // Nothing can be handed over: the analysis goes on here.
        board.handOver.close();
        return false;
    }
    const std::shared_ptr<LiveRecording> recording =
        board.handOver.offer(std::move(recordIn), key, stopped);
    if (!recording)
        return stopped();
    while (!stopped() && recording->outcome() == LiveRecording::Outcome::Recording) {
        recording->decided.waitFor(kRedrawPeriod);
        const double seconds = recording->secondsRecorded();
        progress->seconds = seconds;
        if (hooks.analysed)
            hooks.analysed(seconds);
    }
    if (stopped())
        return true;
    if (recording->outcome() != LiveRecording::Outcome::Completed)
        return false;
    for (const std::string& told : recording->takeNotices())
        tell(told);
    takeComplete(store, key);
    tell(store.takeNotice());
    return true;
}

void StoreSide::drawMaps() {
    std::shared_ptr<const StoredVideo> drawn;
    SummarySettings drawnSettings;
    double drawnStart = -2.0;
    while (mapping.waitForWake(kSettingsPoll)) {
        std::shared_ptr<const StoredVideo> video = board.video();
        // Until the analysis is whole, the stand-in's map, drawn as provisional.
        const bool provisional = !video;
        if (provisional)
            video = board.standInVideo();
        if (!video)
            continue;
        const SummarySettings settings = settingsBoard.snapshot().summary;
        const double start = board.summaryStartSeconds();
        if (video == drawn && settings == drawnSettings && start == drawnStart)
            continue;
        if (drawMap(video, settings, start, provisional)) {
            drawn = video;
            drawnSettings = settings;
            drawnStart = start;
        }
    }
}

bool StoreSide::drawMap(const std::shared_ptr<const StoredVideo>& video,
                        const SummarySettings& settings, double start, bool provisional) {
    const size_t first = start < 0.0 ? 0 : video->seekIndex(start, board.ticksPerSecond());
    const auto& post = provisional ? hooks.provisionalMap : hooks.map;
    std::vector<MapSpan> spans;
    auto redraw = std::chrono::steady_clock::now() + kRedrawPeriod;
    int turns = 0;
    const auto carryOn = [&] {
        if (++turns % 16 != 0)
            return true;
        // A provisional map gives way to the exact one as soon as it can be drawn.
        if (mapping.stopRequested() || board.summaryStartSeconds() != start ||
            !(settingsBoard.snapshot().summary == settings) || (provisional && board.video()))
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= redraw && post) {
            post(spans, false);
            mapsPosted += provisional ? 0 : 1;
            redraw = now + kRedrawPeriod;
        }
        return true;
    };
    if (video != distancesOf) {
        distances = std::make_unique<SegmentDistanceMemo>();
        distancesOf = video;
    }
    if (!summarizeStored(video, first, settings, spans, carryOn, distances.get()))
        return false;
    if (post)
        post(spans, true);
    std::atomic<double>& firstWhole = provisional ? provisionalMapSeconds : exactMapSeconds;
    if (firstWhole < 0.0)
        firstWhole = sinceStart();
    if (!provisional) {
        ++mapsPosted;
        ++mapsDrawn;
    }
    // The map's tree is gone: its pages go back, and those of whatever else
    // was freed since the last map (the trees of a save or of a summary).
    returnFreedMemory();
    return true;
}

#include "SummaryFeed.h"

#include "FragmentDecoder.h"

#include <algorithm>
#include <thread>

ReaderOptions SummaryFeed::readerOptions(const std::atomic<bool>* stop) {
    ReaderOptions options;
    options.stop = stop;
    options.audio = false;
    options.decoderThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return options;
}

SummaryFeed::SummaryFeed(const std::string& path, const std::atomic<bool>* stop)
    : analysis(std::make_unique<FragmentDecoder>(path.c_str(), readerOptions(stop))) {}

SummaryFeed::~SummaryFeed() = default;

bool SummaryFeed::startAt(double seconds, bool seek, bool summarising, Summarizer& summarizer) {
    analysis->setReadAhead(false);
    bool fromStored = false;
    if (summarising) {
        fromStored = takeStored(seconds, seek, summarizer);
        if (!fromStored && seek)
            analysis->seekFrameWKey(seconds);
    } else {
        takeStored(-1.0, false, summarizer);
    }
    analysis->setReadAhead(summarising && !fromStored);
    return fromStored;
}

bool SummaryFeed::takeStored(double seconds, bool seek, Summarizer& summarizer) {
    std::shared_ptr<const StoredVideo> video;
    if (storeBoard != nullptr) {
        storeBoard->setSummaryStart(seconds, ticksPerSecond);
        if (seconds >= 0.0 && ticksPerSecond > 0.0)
            video = storeBoard->video();
    }
    if (video) {
        const size_t first = seek ? video->seekIndex(seconds, ticksPerSecond) : 0;
        stored = std::make_unique<StoredFrames>(std::move(video), first);
        summaryTurns = std::make_unique<SummaryTurns>(*stored, summarizer);
        return true;
    }
    summaryTurns = std::make_unique<SummaryTurns>(*analysis, summarizer);
    stored.reset();
    return false;
}

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

SummaryFeed::SummaryFeed(const std::string& videoPath, const std::atomic<bool>* stopFlag)
    : path(videoPath), stop(stopFlag),
      analysis(std::make_unique<FragmentDecoder>(path.c_str(), readerOptions(stop))) {}

SummaryFeed::~SummaryFeed() {
    dropRecording();
}

void SummaryFeed::passOnNotices() {
    if (recording)
        recording->addNotice(analysis->takeSoundNotice());
}

void SummaryFeed::dropRecording() {
    if (!recording)
        return;
    passOnNotices();
    // The decoder stops reading (and so tapping) before the recording goes.
    analysis->setReadAhead(false);
    analysis->setTap(nullptr);
    recording->release();
    recording.reset();
}

bool SummaryFeed::takeFront(bool fresh) {
    if (storeBoard == nullptr || analysis->videoReader().status() != VideoReader::OK)
        return false;
    recording =
        storeBoard->handOver.takeFront(analysis->frameRate(), [this] { return stop->load(); });
    if (!recording)
        return false;
    // A decoder of its own from the first picture, as the store's analysis reads.
    if (!fresh)
        analysis = std::make_unique<FragmentDecoder>(path.c_str(), readerOptions(stop));
    analysis->setTap(recording.get());
    return true;
}

bool SummaryFeed::storedWhole() const {
    return storeBoard != nullptr && ticksPerSecond > 0.0 && storeBoard->video() != nullptr;
}

void SummaryFeed::begin(bool summarising, Summarizer& summarizer) {
    // Unless the store holds the video whole, this summary's reading makes
    // the store's analysis.
    if (summarising && !storedWhole())
        takeFront(true);
    startAt(0.0, false, summarising, summarizer);
}

bool SummaryFeed::startAt(double seconds, bool seek, bool summarising, Summarizer& summarizer) {
    analysis->setReadAhead(false);
    if (seek)
        dropRecording();
    // From the first picture again: a decoder of its own makes the store's analysis.
    const bool fresh = summarising && seek && seconds <= 0.0 && !storedWhole() && takeFront(false);
    bool fromStored = false;
    if (summarising) {
        fromStored = takeStored(seconds, seek, summarizer);
        if (!fromStored && seek && !fresh)
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

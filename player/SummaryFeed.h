#pragma once

// Where Summary's fragments come from: the stored analysis of the video,
// once the store's side has put a whole one on the board, else the
// player's own decoder, which reads ahead of the summary while Summary runs.
// Either way the fragments, and so the decisions, are the same.

#include "StoredVideo.h"
#include "SummaryTurns.h"
#include "VideoReader.h"

#include <atomic>
#include <memory>
#include <string>

class FragmentDecoder;
class Summarizer;

class SummaryFeed {
public:
    SummaryFeed(const std::string& path, const std::atomic<bool>* stop);
    // The analysis reads as fast as it can: every core for the decoder, no
    // sound. The playback reader takes the same decoder threads, so that
    // both number and time the pictures alike.
    static ReaderOptions readerOptions(const std::atomic<bool>* stop);
    // The recording, unless whole, is given up.
    ~SummaryFeed();
    SummaryFeed(const SummaryFeed&) = delete;
    SummaryFeed& operator=(const SummaryFeed&) = delete;

    // The board the store's side publishes on; null for none.
    void setStoreBoard(StoreBoard* board) { storeBoard = board; }
    FragmentDecoder& decoder() { return *analysis; }
    void setTicksPerSecond(double ticks) { ticksPerSecond = ticks; }

    // The video's first summary, from its first frame (or none, when not
    // summarising). A summary from the first frame of a video not stored
    // whole makes the store's analysis as it reads, when the store side
    // hands it over.
    void begin(bool summarising, Summarizer& summarizer);
    // Summary runs from `seconds` (from the first frame when not `seek`),
    // or stops running (summarising false). The board hears where it
    // started; true when the fragments come from the store.
    bool startAt(double seconds, bool seek, bool summarising, Summarizer& summarizer);
    SummaryTurns& turns() { return *summaryTurns; }
    // Hands what the decoder said of the sound to the recording, if any.
    void passOnNotices();
    bool fromStore() const { return stored != nullptr; }

private:
    bool takeStored(double seconds, bool seek, Summarizer& summarizer);
    // The board holds the video's whole analysis.
    bool storedWhole() const;
    // Takes the store's analysis over for a summary from the first frame;
    // `fresh`: the decoder has read nothing yet.
    bool takeFront(bool fresh);
    void dropRecording();

    const std::string path;
    const std::atomic<bool>* const stop;
    // Declared first: the decoder that taps it goes before it.
    std::shared_ptr<LiveRecording> recording;
    std::unique_ptr<FragmentDecoder> analysis;
    StoreBoard* storeBoard = nullptr;
    double ticksPerSecond = 0.0;
    std::unique_ptr<StoredFrames> stored;
    std::unique_ptr<SummaryTurns> summaryTurns;
};

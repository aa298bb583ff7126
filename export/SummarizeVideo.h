#pragma once

// One video's summary and the files asked of it: the work of a lone run and
// of each video of a batch. Never prints: notes go to a callback as they
// happen, the failure comes back with the outcome.

#include "Analysis.h"
#include "ExitStatus.h"
#include "SegmentList.h"
#include "SummarySettings.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// What the work reports as it goes, on the thread doing it: the tool's
// progress line, the player's progress bar.
class SummaryProgress {
public:
    virtual ~SummaryProgress() = default;
    // Before the analysis, with the video's length in seconds (0 when unknown).
    virtual void begin(double duration) = 0;
    // Seconds of the video analysed so far, and its pictures.
    virtual void update(double position, int64_t pictures) = 0;
    // The analysis is over; the outputs are finished after it. Called again
    // once the summary video is written, when there is one.
    virtual void end() = 0;
    // Besides update() once the analysis has read the whole video, while
    // the last fragments are decided and their kept pictures written to the
    // summary video: how far into the video, of its length in seconds (0
    // when unknown), the pictures written reach.
    virtual void writing(const std::string& /*file*/, double /*reached*/, double /*length*/) {}
    // Then the file completed: the encoder drained, and its pictures copied
    // into the file with its chapters, done of total (0 while it drains).
    virtual void finishing(const std::string& /*file*/, int64_t /*done*/, int64_t /*total*/) {}
};

struct VideoTask {
    std::string video;
    SummarySettings settings;
    // A lone run: the list, in this format, on this stream.
    ListFormat format = ListFormat::Json;
    std::FILE* results = nullptr;
    // A batch: the JSON list with the run's record (see DoneRecord) at
    // record, written last, and the other formats at their files.
    std::string record;
    std::vector<std::pair<ListFormat, std::string>> lists;
    Json recordFields = Json::object(); // as SummaryReport::extra

    std::string output;         // summary video, empty for none
    std::string contactSheet;   // PNG, empty for none
    std::string descriptorFile; // empty for none
    // The kept lines of the subtitles the player would show, on the
    // summary's clock, as SRT (empty for none; an empty file when the video
    // has none), and in the summary video as a mov_text track.
    std::string subtitles;
    // The summary video's sound: the N-th of audioTracks (from 1); 0 for the
    // one the file marks (playedAudioTrack). The analysis hears the first.
    int audioTrack = 0;
    AnalysisSources sources;
    int decoderThreads = 0;              // 0: one per core
    int encoderThreads = 0;              // 0: FFmpeg's choice
    bool leanEncoder = false;            // VideoWriterFormat::leanLookahead
    SummaryProgress* progress = nullptr; // none when null
};

struct VideoOutcome {
    int status = EXIT_OK;
    std::string error; // one line, when status is not EXIT_OK
    double duration = -1.0; // as far as the video could be read
    double kept = -1.0;     // seconds of the summary
    // The length the file claims, when its data ends well before it
    // (status EXIT_PARTLY_READ); negative for a whole file.
    double claimedDuration = -1.0;
    // The files written, each with its size, in the order written.
    std::vector<std::pair<std::string, int64_t>> written;
};

using NoteFunction = std::function<void(const std::string&)>;

VideoOutcome summarizeVideo(const VideoTask& task, const std::atomic<bool>& interrupted,
                            const NoteFunction& note);

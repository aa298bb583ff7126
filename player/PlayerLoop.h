#pragma once

// The player's decoding loop, one pass at a time: tree limits and strips,
// seeks (a released position slider or a change of mode), rebuilds after a
// weight change, then a Play or Summary step that feeds the playback queue.
// Play reads the video straight on; Summary takes the summarising turns and
// reads the pictures of each kept fragment again, so that no undecided
// fragment holds a picture. ThreadDecoding runs pass() in a loop and waits
// on the controls' wakeup whenever a pass says there is nothing to do; tests
// call it step by step.

#include "PlaybackQueue.h"
#include "PlaybackReader.h"
#include "PlaybackSound.h"
#include "PlayerSettings.h"
#include "SharedControls.h"
#include "StoredVideo.h"
#include "Summarizer.h"
#include "SummaryTurns.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class FragmentDecoder;
class SoundSink;

class PlayerLoop {
public:
    // The playback buffer stops filling at this many frames or this many
    // bytes of pictures, whichever comes first.
    static constexpr int32_t BUFFER_TARGET = 300;
    static constexpr int64_t BUFFER_BUDGET = int64_t{192} << 20;

    // How a pass ended: with more to do at once, or with nothing to do until
    // something changes (the caller waits on the controls' wakeup).
    enum class Next { Continue, Wait };

    // With a sound sink, the sound of what is shown plays with it.
    PlayerLoop(std::string inputPath, PlaybackQueue& playbackQueue, SharedControls& controls,
               const SettingsBoard& settings, SoundSink* audio = nullptr);
    ~PlayerLoop();
    PlayerLoop(const PlayerLoop&) = delete;
    PlayerLoop& operator=(const PlayerLoop&) = delete;

    // The start of the thread: says what it decodes and opens the video.
    void start();
    Next pass();
    // From any thread: a seek under way ends early, for a stop that waits on it.
    void interrupt() { stopping = true; }

    PlaybackQueue& playbackQueue;
    SharedControls& controls;
    const SettingsBoard& settingsBoard;
    SoundSink* const audio;
    const std::string inputPath;
    int32_t bufferTarget = BUFFER_TARGET;
    int64_t bufferBudget = BUFFER_BUDGET;

    // Start times of the summary's segments handed on, for the timeline.
    std::vector<double> segmentTimes;
    int32_t depthLimit = 0;
    int32_t nodeLimit = 0;
    // Numbers the frames handed on; decided fragments count whether kept or not.
    int32_t framesHandedOn = 0;
    // The play side has read the video to its end.
    bool endOfStream = false;
    // Set from the thread that stops this one: a seek under way gives up.
    std::atomic<bool> stopping{false};
    // Restarts (seeks, changes of mode, rebuilds) so far; readable from any
    // thread, for whoever waits for one to have happened.
    std::atomic<int64_t> restarts{0};

    Summarizer summarizer;
    std::unique_ptr<FragmentDecoder> analysis; // Summary mode's descriptors
    // When set (before start), Summary takes its descriptors from the
    // stored video on the board once there is one, and tells it where it
    // started.
    StoreBoard* storeBoard = nullptr;
    std::unique_ptr<StoredFrames> stored; // Summary from the board's video
    std::unique_ptr<SummaryTurns> turns;
    PlaybackReader playback; // the pictures to play
    PlaybackSound sound;     // and their sound

private:
    void updateTreeLimits();
    void postTreeStrips();
    bool detectSeek(double* target);
    // Takes the newest settings; true when they call for a new summary.
    bool takeSettings();
    void dropSegmentTimesAfter(double seconds);
    void restartAt(double seconds);
    // Summary's fragments from `seconds` (from the first frame without a
    // seek): from the stored video when the board has one; false when they
    // are to be decoded.
    bool summarizeFromStore(double seconds, bool seek);
    void postTimeline(bool force);
    void postPositionSlider();
    bool hasRoom(int64_t comingBytes) const;
    // Places the frames on the playback timeline and hands them to the
    // buffer, and their sound to the sound sink. The first frame follows
    // the last one handed on when it is the next picture of the video;
    // else it starts right after it, and its sound fades in after a fade out.
    void handOn(std::vector<PictureFrame>& frames, bool followsOn);
    void openSound();
    // Tells the console what keeps the sound from playing, once.
    void tellSoundNotices();
    // The mode the loop works for: during a pause, the one paused.
    PlayerMode workingMode() const { return seenMode == PlayerMode::Pause ? pausedMode : seenMode; }
    Next playStep();
    Next summaryStep();
    void takeKept(const Decision& decision);
    // Hands on the kept fragment's pictures from `from` (video time) on.
    bool handKept(const Decision& decision, double from);

    // A new speed, frame steps in a pause, playing on after them: the
    // picture on screen stays, what follows it is placed again. Play reads
    // on from it; Summary hands on again the kept fragments still to be
    // shown, so that no decision changes.
    void takeSpeed();
    void takeSteps();
    // A save has started: a paused buffer gives up what is over its share.
    void takeSaving();
    // In Summary, the skips to the next or an earlier kept segment.
    void takeSkips();
    void resumeAfter(double shown);
    void replayFrom(double from);
    void stepBack(int count);
    // The time of the kept picture before `shown`; `shown` itself when
    // there is none.
    double keptPictureBefore(double shown);
    // Empties the queue and the sound, for pictures placed from 0 again.
    void clearPlacement();

    PlayerSettings settings;
    uint64_t seenRanking = 0;
    PlayerMode seenMode = PlayerMode::Play;
    PlayerMode pausedMode = PlayerMode::Play;
    // The playback timeline: where the next frame goes when it does not
    // follow on, and the last frame placed.
    double timelineEnd = 0.0;
    double lastFrameTime = 0.0;
    double lastPlayTime = 0.0;
    bool placedAny = false;
    double framePeriod = 1.0 / 25;
    double ticksPerSecond = 0.0; // of the video's timestamps
    int32_t lastKeptNumber = -2;
    double speed = 1.0;
    // Kept fragments handed on lately, whose pictures may still wait in
    // the queue; those to hand on again, from replayStart on.
    std::deque<Decision> recentKept;
    std::deque<Decision> replay;
    double replayStart = 0.0;
    bool steppedInPause = false;
    bool sawSaving = false; // the save flag at the last pass
    // Play hands on no picture before this time: the one on screen is not shown twice.
    double playFrom = 0.0;
    // What the widgets were last told, so that nothing unchanged is posted.
    struct Posted {
        int32_t depthLimit = -1, depthPosition = -1, nodeLimit = -1, nodesPosition = -1;
        int32_t segments = -1, maximum = -1, position = -1, front = -1, decision = -1;
        int32_t slider = -1;
    } posted;
};

#pragma once

// The player's decoding loop, one pass at a time: the commands given since
// the last pass (a seek, a change of mode, steps, skips), the settings (a
// rebuild after a weight change, the tree's limits), then a Play or Summary
// step that feeds the playback queue. ThreadDecoding runs pass() in a loop
// and waits on the core's wakeup whenever a pass says there is nothing to
// do; tests call it step by step.

#include "PlayStep.h"
#include "PlaybackQueue.h"
#include "PlaybackReader.h"
#include "PlaybackSound.h"
#include "PlaybackTimeline.h"
#include "PlayerCore.h"
#include "PlayerIntake.h"
#include "PlayerSettings.h"
#include "Summarizer.h"
#include "SummaryFeed.h"
#include "SummaryStep.h"
#include "TreeLimits.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class SoundSink;
class StoreBoard;

class PlayerLoop {
public:
    // How a pass ended: with more to do at once, or with nothing to do until
    // something changes (the caller waits on the core's wakeup).
    enum class Next { Continue, Wait };

    // With a sound sink, the sound of what is shown plays with it.
    PlayerLoop(std::string inputPath, PlaybackQueue& playbackQueue, PlayerCore& core,
               const SettingsBoard& settings, SoundSink* audio = nullptr);
    ~PlayerLoop();
    PlayerLoop(const PlayerLoop&) = delete;
    PlayerLoop& operator=(const PlayerLoop&) = delete;

    // Before start: Summary takes its descriptors from the stored video on
    // the board once there is one, and tells it where it started.
    void setStoreBoard(StoreBoard* board);
    // Before start: the sound is taken from this stream of the file (-1:
    // the first audio stream).
    void setAudioStream(int stream) { sound.chooseStream(stream); }
    // Before start: the playback buffer's bounds, in frames and bytes.
    void setBufferBounds(int32_t frames, int64_t bytes) { timeline.setBounds(frames, bytes); }

    // The start of the thread: says what it decodes and opens the video.
    void start();
    Next pass();
    // From any thread: a seek under way ends early, for a stop that waits on it.
    void interrupt() { stopping = true; }

    // For whoever watches the loop (tests, measurements).
    // Restarts (seeks, changes of mode, rebuilds) so far; from any thread.
    int64_t restarts() const { return restartCount; }
    // Play has read the video to its end; Summary has decided its last fragment.
    bool ended() const;
    const std::vector<double>& segmentTimes() const { return summary.segmentTimes(); }
    const Summarizer& summaryEngine() const { return summarizer; }
    int32_t framesHandedOn() const { return timeline.handedOn(); }
    // Pictures the loop's own analysis has decoded.
    int64_t picturesAnalysed() const;

private:
    bool takeSettings();
    void updateTreeLimits();
    // Acts on a change of mode or a seek: true, with the target, when they
    // call for a restart.
    bool takeCommands(const PlayerIntake::Wanted& wanted, double* target);
    void restartAt(double seconds);
    void postTimeline(bool force);
    // The time of the picture on screen; after a restart, where the next begins.
    double position() const;
    void openSound();
    // Publishes where the readable data ends once a reader has met that end
    // well before the claimed length; true when it is known.
    bool noteReadableEnd();
    // A time past the readable end is taken as its last picture.
    double withinReadable(double seconds) const;
    void tellSoundNotices();
    // Another sound track: the sound from the picture on screen on is of it.
    void takeAudioStream(std::optional<int> stream);
    // Publishes the stream playing, and says why when it is not the one asked for.
    void publishSound();
    // The mode the loop works for: during a pause, the one paused.
    PlayerMode workingMode() const { return seenMode == PlayerMode::Pause ? pausedMode : seenMode; }

    // A new speed, frame steps in a pause, playing on after them: the
    // picture on screen stays, what follows it is placed again. Play reads
    // on from it; Summary hands on again the kept fragments still to be
    // shown, so that no decision changes.
    void takeSpeed();
    void takeSteps(int steps);
    void takeSkips(int skips);
    void publishSegmentEdges();
    // A save has started: a paused buffer gives up what is over its share.
    void takeSaving(bool saving);
    void resumeAfter(double shown);
    void replayFrom(double from);
    void stepBack(int count);
    // In a pause the picture sought shows at once, as after a frame step.
    void showOneStep();
    void clearPlacement(double from);

    PlaybackQueue& playbackQueue;
    PlayerCore& core;
    const SettingsBoard& settingsBoard;
    SoundSink* const audio;
    const std::string inputPath;
    StoreBoard* storeBoard = nullptr;
    std::atomic<bool> stopping{false};
    std::atomic<int64_t> restartCount{0};

    Summarizer summarizer;
    PlaybackReader playback; // the pictures to play
    PlaybackSound sound;     // and their sound
    PlaybackTimeline timeline;
    PlayStep play;
    SummaryStep summary;
    std::unique_ptr<SummaryFeed> feed; // Summary mode's descriptors
    TreeLimits limits;
    PlayerIntake intake;

    PlayerSettings settings;
    uint64_t seenRanking = 0;
    PlayerMode seenMode = PlayerMode::Play;
    PlayerMode pausedMode = PlayerMode::Play;
    bool steppedInPause = false;
    bool saving = false;
    double readableEnd = -1.0; // as published; negative while unknown
    int publishedStream = -2;  // the audio stream as published
    // What the timeline was last given, so that nothing unchanged is posted.
    int32_t posted[5] = {-1, -1, -1, -1, -1};
};

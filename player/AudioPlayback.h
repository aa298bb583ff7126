#pragma once

// Sound on its way to the output device, placed on the playback timeline, and
// the clock that tells which moment of that timeline is being heard. It has no
// thread and no device of its own, so that it runs against a test's clock and
// a test's pulls: AudioOutput feeds it from the decoding thread, lets the
// device pull from it on the audio thread, and the pacer reads its clock.
// Every call takes one lock for a short copy or a short search.

#include "PlaybackPacer.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

class AudioPlayback {
public:
    // Audio that stops or starts abruptly (a cut, a gap, a restart) ramps
    // over this long, so that it does not click.
    static constexpr double fadeSeconds = 0.010;
    // A write that starts this close to where the written audio ends follows
    // it directly: rounding in the callers' timestamps must not chop the sound.
    static constexpr double slackSeconds = 0.020;
    // Audio written this far ahead of the device is kept as silence instead.
    static constexpr double capacitySeconds = 20.0;
    // Between two reports of the device the clock runs on by the time
    // source, but never further than this: a stalled device holds the clock.
    static constexpr double interpolationLimit = 0.100;
    // Volume changes glide over this long instead of stepping.
    static constexpr double volumeGlideSeconds = 0.005;
    // The device starts once this much is queued, or once writes stop for
    // writePauseSeconds: started on less, it would run dry at once.
    static constexpr double startSeconds = 0.2;
    static constexpr double writePauseSeconds = 0.1;
    // With nothing queued, silence keeps the device holding this much, so
    // that it never runs dry and its count of played time stays ours.
    static constexpr double lowWaterSeconds = 0.05;

    AudioPlayback(int sampleRate, int channels, PacerClock& time);
    AudioPlayback(const AudioPlayback&) = delete;
    AudioPlayback& operator=(const AudioPlayback&) = delete;

    // --- The decoding side.
    // Queues interleaved float frames at the device's rate and channel count
    // whose first frame plays at presentationTime seconds of the timeline
    // (0 at the last flush). A gap before it is filled with silence, a part
    // of it that the timeline already holds is dropped. A discontinuity (a
    // cut) fades the audio before it out and this audio in.
    void write(std::vector<float> samples, double presentationTime, bool discontinuity);
    // Drops every queued and pulled frame; the timeline starts again at 0.
    void flush();
    void setPaused(bool paused);
    // 0 to 1; the amplitude follows its cube, so that equal steps sound equal.
    void setVolume(double volume);
    void setMuted(bool muted);

    // --- The device side (the audio thread).
    struct Demand {
        uint64_t generation; // counts flushes: a device started before the last one must restart
        bool startable;      // enough queued for a stopped device to start
        bool paused;
    };
    Demand demand() const;
    // The device starts for the given generation: its frames count from 0.
    void deviceStarted(uint64_t generation);
    void deviceStopped();
    // How many frames to hand a device with room for room: what is queued,
    // and silence when it runs low.
    int64_t framesToFeed(int64_t room) const;
    // Fills frames frames of out with what is due, at the volume; silence when
    // nothing is, or while detached.
    void pull(float* out, int64_t frames);
    // The device reports that it is playing the frame at this count since it started.
    void reportPlayed(int64_t frame);

    // --- Any thread.
    // The timeline time of the frame being heard now; none while nothing
    // written since the last flush is heard: before it starts, when the
    // queue ran dry, when the device is detached.
    std::optional<double> presentationTime() const;
    // True when written audio waits to be heard and so the clock will run:
    // a pacer that follows the sound waits rather than going on its own.
    bool clockPending() const;
    double volume() const;
    bool muted() const;
    bool paused() const;

    const int sampleRate;
    const int channels;

private:
    // Audio on the timeline; no samples means silence.
    struct Chunk {
        int64_t timelineStart;
        int64_t frames;
        std::vector<float> samples;
        int64_t pulled = 0;
    };
    // Frames handed to the device; timelineStart -1 marks filler silence.
    struct Span {
        int64_t deviceStart;
        int64_t frames;
        int64_t timelineStart;
    };

    void fadeOutTail();
    float targetGain() const;
    void handOut(float* out, int64_t frames, int64_t timelineStart, const float* samples);
    void recordSpan(int64_t frames, int64_t timelineStart);
    int64_t heardFrame() const;
    std::optional<double> clockAt(int64_t deviceFrame) const;

    PacerClock& time;
    const int64_t fadeFrames;
    const int64_t slackFrames;
    const int64_t capacityFrames;
    const int64_t startFrames;
    const int64_t lowWaterFrames;

    mutable std::mutex mutex;
    std::deque<Chunk> queue;
    int64_t queuedSampleFrames = 0; // in chunks with samples: memory
    int64_t queuedFrames = 0;       // in all chunks: timeline
    PacerClock::TimePoint lastWrite{};
    int64_t timelineEnd = 0;
    bool fresh = true;
    uint64_t generation = 0;
    bool isPaused = false;
    double volumeLevel = 1.0;
    bool isMuted = false;
    float gain = 1.0f;

    bool attached = false;
    int64_t deviceFrames = 0;
    std::deque<Span> handed;
    bool haveReport = false;
    int64_t reportedFrame = 0;
    PacerClock::TimePoint reportTime{};
    // The clock never goes back within a start of the device.
    mutable int64_t lastHeard = 0;
};

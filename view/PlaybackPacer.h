#pragma once

// The playing schedule of the visualization thread, kept apart from the thread
// and its window so that it runs against any clock: frames are due every
// 1/frameRate seconds from the clock's start, an early frame waits for its
// time, and a late frame is dropped unless too many were dropped in a row.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

class PacerClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PacerClock() = default;
    virtual TimePoint now() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

class SteadyPacerClock final : public PacerClock {
public:
    TimePoint now() override;
    void sleepFor(std::chrono::milliseconds duration) override;
};

enum class PlaybackState { Starting, Playing, Starved, Paused, Stopped };

enum class PaceDecision { Show, Drop, Stop };

class PlaybackPacer {
public:
    static constexpr std::chrono::milliseconds startDelay{500};
    static constexpr std::chrono::milliseconds earlyStep{25};
    static constexpr std::chrono::milliseconds idleStep{100};

    // Every wait ends early, and the pacer enters Stopped, once stopRequested is set.
    PlaybackPacer(PacerClock& clock, const std::atomic<bool>& stopRequested, int32_t frameRate = 24,
                  int32_t maxLateFrames = 1);

    // Waits the start delay, then starts the clock. False when stopped meanwhile.
    bool start();
    // No frame to take: waits one idle step, then restarts the clock so that
    // the next frame is due at once. False when stopped.
    bool starve();
    // Waits in idle steps while paused is set; the clock keeps running, so the
    // first frame after a long pause is late. False when stopped.
    bool waitWhilePaused(const std::function<bool()>& paused);
    // For each frame taken: waits while it is early, then tells whether to
    // show or drop it, and counts it.
    PaceDecision pace();

    // Seconds since the clock's start, in whole milliseconds.
    double elapsed() const;
    int32_t framesSinceStart() const { return framesTaken; }
    int32_t lateInARow() const { return late; }
    // Readable from any thread.
    PlaybackState state() const { return currentState.load(); }

    const int32_t frameRate;
    const int32_t maxLateFrames;

private:
    bool sleep(std::chrono::milliseconds duration);
    void restartClock();
    bool stopping();

    PacerClock& clock;
    const std::atomic<bool>& stopRequested;
    const double period;
    PacerClock::TimePoint clockStart;
    int32_t framesTaken = 0;
    int32_t late = 0;
    std::atomic<PlaybackState> currentState{PlaybackState::Starting};
};

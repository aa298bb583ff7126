#pragma once

// The playing schedule of the visualization thread, kept apart from the thread
// and its window so that it runs against any clock. Each frame carries its
// time on the playback timeline; a frame is due when the clock has run as
// long since its start as the timeline has since the frame the clock started
// with. An early frame waits for its time; a frame later than half its
// period (the stream's, or its spacing from the frame before when longer) is
// dropped, unless too many were dropped in a row,
// when it is shown and the clock starts again from it. With a master clock
// (the sound being heard), that clock says what time it is on the timeline,
// and late frames are dropped until they catch up with it (one shown now
// and then) but never move it.

#include "Worker.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>

class PacerClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PacerClock() = default;
    virtual TimePoint now() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
};

// The steady clock, for what only reads the time (the sound's clock).
class SteadyPacerClock final : public PacerClock {
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

// The steady clock, sleeping through a worker thread: a stop ends a sleep at once.
class WorkerPacerClock final : public PacerClock {
public:
    explicit WorkerPacerClock(Worker& worker) : worker(worker) {}
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleepFor(std::chrono::milliseconds duration) override { worker.sleepFor(duration); }

private:
    Worker& worker;
};

enum class PlaybackState { Starting, Playing, Starved, Paused, Stopped };

enum class PaceDecision { Show, Drop, Stop };

class PlaybackPacer {
public:
    static constexpr std::chrono::milliseconds startDelay{500};
    static constexpr std::chrono::milliseconds earlyStep{25};
    static constexpr std::chrono::milliseconds pendingStep{5};
    static constexpr int longestPendingSteps = 200;
    // A frame due further ahead than this follows a break in the timeline
    // (a restart that was not seen): the clock starts again from it.
    static constexpr double longestWait = 2.0;
    // Pictures further apart than this do not follow on from each other.
    static constexpr double longestSpacing = 1.0;
    // Behind the sound, late pictures are dropped until they catch up with
    // it, but one is shown at least this often (of the timeline), so that
    // the picture still moves meanwhile.
    static constexpr double longestCatchUp = 0.25;

    // Every wait ends early, and the pacer enters Stopped, once stopRequested() holds.
    PlaybackPacer(PacerClock& clock, std::function<bool()> stopRequested,
                  int32_t maxLateFrames = 1);

    // The timeline's time heard now, when a master clock runs; empty when
    // not. While pending() holds, the master is about to run (sound written
    // and not yet heard): a frame waits for it, a second at most, rather
    // than run ahead on the pacer's own clock.
    using MasterClock = std::function<std::optional<double>()>;
    void setMasterClock(MasterClock master, std::function<bool()> pending = {}) {
        masterClock = std::move(master);
        masterPending = std::move(pending);
    }

    // Waits the start delay. False when stopped meanwhile.
    bool start();
    // No frame to take (the caller waits for one): the next frame starts the
    // clock. False when stopped.
    bool starve();
    // The caller waits while paused; once it plays on, the next frame starts
    // the clock again, so playing resumes where it stopped.
    void pause() { currentState = PlaybackState::Paused; }
    void resume() { clockRunning = false; }
    // The caller has stopped playing for good.
    void finish() { currentState = PlaybackState::Stopped; }
    // For each frame taken, at `playTime` on the timeline, of a stream whose
    // frames last `period` seconds (or as long as the last one came before
    // it, when longer): waits while it is early, then tells whether to show
    // or drop it.
    PaceDecision pace(double playTime, double period);

    // Seconds since the clock's start, in whole milliseconds.
    double elapsed() const;
    int32_t lateInARow() const { return late; }
    // Readable from any thread.
    PlaybackState state() const { return currentState.load(); }

    const int32_t maxLateFrames;

private:
    bool sleep(std::chrono::milliseconds duration);
    void restartClock(double playTime);
    // A frame to show: nothing is late any more.
    PaceDecision shown(double playTime);
    bool stopping();
    // Seconds until the frame at playTime is due (negative when late).
    double untilDue(double playTime) const;

    PacerClock& clock;
    const std::function<bool()> stopRequested;
    MasterClock masterClock;
    std::function<bool()> masterPending;
    bool clockRunning = false;
    PacerClock::TimePoint clockStart;
    double clockStartPlayTime = 0.0;
    double lastPlayTime = 0.0;
    double lastShownPlayTime = 0.0;
    int32_t late = 0;
    std::atomic<PlaybackState> currentState{PlaybackState::Starting};
};

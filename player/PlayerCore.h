#pragma once

// The player's hub, alive for the whole run whichever video plays: the
// commands going in, the state coming out, and what the decoding loop and
// the screen's thread tell each other about the pictures between them.
// Every member may be used from any thread.

#include "PlayerCommands.h"
#include "PlayerState.h"
#include "WidgetDriver.h"
#include "Worker.h"

#include <atomic>
#include <chrono>
#include <cstdint>

// The steady clock in milliseconds, for times the threads tell each other.
inline int64_t steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What the decoding loop and the screen's thread share about the pictures
// queued between them.
struct ScreenLink {
    // How long a frame lasts, and the shape of its pixels (width over height).
    std::atomic<double> framePeriod{1.0 / 25};
    std::atomic<double> sampleAspect{1.0};
    // The speed the queued pictures were placed at.
    std::atomic<double> speed{1.0};
    // In a pause, pictures the screen shows from the queue, one each.
    std::atomic<int32_t> steps{0};
    // The picture on screen: its time, and the queue's serial it came under.
    std::atomic<double> shownTime{0.0};
    std::atomic<uint64_t> shownSerial{0};
    // Where the pictures placed after the last restart begin.
    std::atomic<double> restartTime{0.0};
    // The loop has handed on everything it will until something changes.
    std::atomic<bool> handedAll{false};
};

class PlayerCore {
public:
    // From any thread: the command goes to the decoding loop; the mode and
    // the pause are published at once.
    void submit(PlayerCommand given);
    // The sound's volume and mute as the output now plays them; the picture
    // says so for noticeMilliseconds.
    void soundChanged(int32_t volumePercent, bool muted, int64_t noticeMilliseconds);
    // The length of the video opened.
    void setDuration(double seconds);
    // The decoding loop: Summary fills its tree before its first picture, or no longer.
    void setSummaryFilling(bool filling);
    // A video opens in `mode` at `seconds` (from its first picture when not
    // `seek`): what was asked of the one before goes.
    void begin(PlayerMode mode, double seconds, bool seek);

    CommandQueue commands;
    PlayerStateBoard state;
    ScreenLink screen;
    // The decoding loop waits on wakeup when it has nothing to do, the
    // screen's thread on screenWakeup; whoever changes what they wait for
    // gives notice.
    Wakeup wakeup;
    Wakeup screenWakeup;
    // Set by the window while it lives; null when nothing is to be drawn.
    std::atomic<WidgetDriver*> driver{nullptr};
};

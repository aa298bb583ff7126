#include "PlayerCore.h"

void PlayerCore::submit(PlayerCommand given) {
    state.update([&given](PlayerState& s) { return takeMode(given, s.mode, s.paused); });
    commands.push(given);
    wakeup.notify();
    screenWakeup.notify();
}

void PlayerCore::soundChanged(int32_t volumePercent, bool muted, int64_t noticeMilliseconds) {
    const int64_t until = steadyMilliseconds() + noticeMilliseconds;
    state.update([&](PlayerState& s) {
        s.volumePercent = volumePercent;
        s.muted = muted;
        s.soundNoticeUntil = until;
        return true;
    });
    screenWakeup.notify();
}

void PlayerCore::setSummaryFilling(bool filling) {
    state.update([filling](PlayerState& s) { return changeTo(s.summaryFilling, filling); });
}

void PlayerCore::setDuration(double seconds) {
    state.update([seconds](PlayerState& s) { return changeTo(s.duration, seconds); });
}

void PlayerCore::begin(PlayerMode mode, double seconds, bool seek) {
    commands.takeAll();
    screen.shownTime = seconds;
    screen.restartTime = seconds;
    screen.handedAll = false;
    screen.steps = 0;
    state.update([&](PlayerState& s) {
        s.mode = mode;
        s.paused = false;
        s.ended = false;
        s.position = seconds;
        s.summaryFilling = false;
        s.segments.clear();
        s.firstSegmentStart = -1.0;
        s.lastSegmentStart = -1.0;
        return true;
    });
    if (seek)
        commands.push(command::SeekTo{seconds});
    wakeup.notify();
    screenWakeup.notify();
}

#pragma once

// What the sound check makes of a run: the pictures the player showed (with
// the moment each reached the screen) against the sound recorded from the
// sink. The test video has a 50 ms 1 kHz beep and a white frame at each
// whole second, and a faint noise everywhere else, so that sound that is
// there, however quiet, is never digital silence.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// When the recorder received the samples up to `end`, on the steady clock.
struct Arrival {
    size_t end;
    double when;
};

// A recording of the sink, with the moment each sample was played. Blocks
// come late by a varying delay and never early, so the earliest arrivals
// around a sample tell best when it was played.
class SoundTrack {
public:
    SoundTrack(std::vector<int16_t> samples, int rate, const std::vector<Arrival>& arrivals);

    double wallOf(double sample) const;
    double sampleAt(double wall) const;
    // No sample within the millisecond from this moment rises above the
    // least step of 16-bit sound: nothing was played.
    bool silentAt(double wall) const;

    const std::vector<int16_t> samples;
    const int rate;

private:
    std::vector<size_t> ends;
    std::vector<double> origins; // when each block's first sample would have been played
};

struct Beep {
    double onset = 0.0; // steady clock
    double lengthMs = 0.0;
    double pitchHz = kNoValue; // from its rising zero crossings; none when too short
};

// The beeps: stretches louder than a fifth of the loudest sample, broken by
// no more than 2 ms (a sine's own zero crossings).
std::vector<Beep> findBeeps(const SoundTrack& track);

// A picture as it reached the screen.
struct Shown {
    double wall;      // steady clock
    double frameTime; // in the video
    double playTime;  // on the playback timeline
    bool summary;     // shown in Summary mode
    int64_t dropped;  // frames dropped as late so far
};

// One run of the player, as the bench drove it.
struct SoundRun {
    std::vector<Shown> shown;
    double framePeriod = 1.0 / 25; // the stream's own, as the player places frames
    // The speed it played at: a second of video lasts 1 / speed on the timeline.
    double speed = 1.0;
    // The video's first picture and its sound, in video time.
    double origin = 0.0;
    double soundFrom = 0.0;
    double soundTo = std::numeric_limits<double>::infinity();
    // A pause in Play (both 0 when there was none), where Play's rate is no
    // longer measured, and when the player was closed.
    double pausedAt = 0.0;
    double resumedAt = 0.0;
    double playMeasuredUntil = 0.0;
    double closedAt = 0.0;
    // Beeps from here on (video time) are the ones whose pitch is told.
    double pitchAfter = 0.0;
    // How far the file itself puts its beeps after their flashes (an
    // encoder's delay kept in the sound): the end of a kept span's sound
    // then lies that much before its last picture's end, and is not missed.
    double ownLag = 0.0;
};

struct OffsetFigures {
    int flashes = 0;
    double medianMs = kNoValue; // of |beep - flash|
    double worstMs = kNoValue;
    double signedMedianMs = kNoValue; // beep minus flash: the sound's lag
};

struct SoundFigures {
    OffsetFigures play;
    OffsetFigures summary;
    int beeps = 0;
    // Kept beeps: the whole second of a kept fragment, the beep's 50 ms
    // inside it, played to its end before the run stopped.
    int keptBeeps = 0;
    int keptHeard = 0;
    double shortestKeptMs = kNoValue;
    double keptSeconds = 0.0;
    double heardShare = kNoValue;
    // Play: pictures shown per second against the stream's own (frames
    // taken, shown or dropped, per second of video), and the share dropped.
    double shownRate = kNoValue;
    double realRate = kNoValue;
    double droppedShare = kNoValue;
    int pitchedBeeps = 0;
    double lowestPitch = kNoValue;
    double highestPitch = kNoValue;
    int heardWhilePaused = 0;
};

SoundFigures soundFigures(const SoundRun& run, const SoundTrack& track);

#pragma once

// The sound of a video as the analysis reads it, for every 10 ms of the
// file's clock: how loud it is (the EBU R128 loudness of those 10 ms,
// K-weighted) and whether the voice-activity detector hears a voice in them.
// It reads the first audio stream, mixed to mono at 16 kHz, with a demuxer of
// its own that drops every other stream's packets unread, and goes only as
// far as it is asked to.

#include "AudioSpanSource.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct SoundUnit {
    // 0 for silence (-100 LUFS or less), else twice the loudness above -100
    // LUFS, at most 255.
    uint8_t loudness = 0;
    bool voice = false;

    bool operator==(const SoundUnit&) const = default;
};

constexpr int kSoundUnitsPerSecond = 100;

// The loudness a unit's level stands for, in LUFS.
inline double unitLoudness(uint8_t level) {
    return level / 2.0 - 100.0;
}

class SoundAnalysis {
public:
    SoundAnalysis();
    ~SoundAnalysis();
    SoundAnalysis(const SoundAnalysis&) = delete;
    SoundAnalysis& operator=(const SoundAnalysis&) = delete;

    // Opens the file's sound; false when it has none (*error empty) or none
    // that can be decoded (*error says why).
    bool open(const std::string& path, std::string* error);
    // The units from this time on (seconds on the file's clock, 0 or more)
    // start again: the ones before are forgotten.
    void restartAt(double seconds);
    // Analyses units until they cover the time given; false when the sound
    // cannot be converted (nothing more is then analysed).
    bool advanceTo(double seconds);
    // The units analysed and not yet taken, in order, handed over (unit k
    // covers k/100 s to (k+1)/100 s).
    std::vector<SoundUnit> take();

    // The first unit analysed since the last restart.
    int64_t first() const { return firstUnit; }
    // Where the stream's own sound ended, in seconds; not a number while it
    // goes on (the units after are silence).
    double soundEnded() const { return endedAt; }

private:
    struct Detector;

    AudioSpanSource source;
    std::unique_ptr<Detector> detector;
    std::vector<SoundUnit> analysed; // not yet taken
    int64_t firstUnit = 0;
    int64_t analysedTo = 0; // the unit after the last analysed
    bool failed = false;
    double endedAt = std::nan("");
};

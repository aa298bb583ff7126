#pragma once

// What the sound of a video says of each of its frames: whether someone
// speaks while the frame is shown, and how loud it is. A unit of sound (10
// ms, see SoundAnalysis) is speech when the detector hears a voice in it and
// it is not much quieter than the speech heard lately: music under a voice,
// or a room's echo after it, may sound like a voice to the detector but
// stays well below the voice itself. A frame speaks when most of the units
// it is shown over are speech.

#include "SoundAnalysis.h"

#include <cstdint>
#include <vector>

struct FrameSound {
    int8_t voice = -1;    // 1: speech, 0: none, -1: the video's sound is not known
    uint8_t loudness = 0; // the loudest unit's level (see SoundUnit)

    bool known() const { return voice >= 0; }
    bool speaks() const { return voice > 0; }
};

class FrameSounds {
public:
    // Forgets every unit: the next one given is number first.
    void reset(int64_t first);
    // The next units of the track, in order.
    void add(const SoundUnit* units, size_t count);
    // Units given so far end before this one.
    int64_t end() const { return firstUnit + static_cast<int64_t>(levels.size()); }
    // The sound of a frame shown from `from` to `to` (seconds); not known
    // when the units given end before `to`.
    FrameSound over(double from, double to) const;

private:
    int64_t firstUnit = 0;
    std::vector<uint8_t> levels;
    std::vector<bool> speech;
    double voiceLevel = 0.0; // the speech lately heard, in the units' levels
};

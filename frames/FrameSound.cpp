#include "FrameSound.h"

#include <algorithm>
#include <cmath>

namespace {

// In the units' half-decibel levels: speech is within 36 (18 dB) of the
// loudest voice heard lately, which fades from memory by 1 (half a decibel)
// a second, so slowly that music under a talk does not pass for speech in a
// pause of some seconds, and louder than 80 (-60 LUFS) whatever was heard
// before.
constexpr double kBelowVoice = 36.0;
constexpr double kVoiceFade = 1.0 / kSoundUnitsPerSecond;
constexpr double kQuietest = 80.0;

int64_t unitAt(double seconds) {
    return static_cast<int64_t>(std::floor(std::max(seconds, 0.0) * kSoundUnitsPerSecond));
}

} // namespace

void FrameSounds::reset(int64_t first) {
    firstUnit = first;
    levels.clear();
    speech.clear();
    voiceLevel = 0.0;
}

void FrameSounds::add(const SoundUnit* units, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const SoundUnit& u = units[i];
        voiceLevel = std::max(voiceLevel - kVoiceFade, 0.0);
        if (u.voice)
            voiceLevel = std::max(voiceLevel, double(u.loudness));
        levels.push_back(u.loudness);
        speech.push_back(u.voice && u.loudness > kQuietest &&
                         u.loudness >= voiceLevel - kBelowVoice);
    }
}

FrameSound FrameSounds::over(double from, double to) const {
    const int64_t first = std::max(unitAt(from), firstUnit);
    const int64_t last = std::max(unitAt(to), first + 1);
    FrameSound sound;
    // Past the units given (the sound could not be read on): not known.
    if (last > end())
        return sound;
    int spoken = 0;
    int heard = 0;
    for (int64_t k = first; k < last; ++k) {
        const size_t i = static_cast<size_t>(k - firstUnit);
        spoken += speech[i] ? 1 : 0;
        sound.loudness = std::max(sound.loudness, levels[i]);
        ++heard;
    }
    sound.voice = heard > 0 && 2 * spoken > heard ? 1 : 0;
    return sound;
}

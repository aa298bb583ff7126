#pragma once

// The sound on its way to the output at a speed other than 1: through the
// tempo filter, each piece placed on the playback timeline where the sound
// before it ends, from where the first piece after a cut or a flush was.
// At speed 1 the sound goes straight on.

#include "TempoFilter.h"

#include <cstdint>
#include <vector>

class AudioOutput;

class SoundTempo {
public:
    // The sound's format and the speed; the filter starts afresh.
    void configure(int sampleRate, int channels, double speed);
    // A flush: what the filter holds is dropped.
    void reset();
    // As AudioOutput::write: count frames to play from `at` on the timeline.
    void write(AudioOutput& audio, const int16_t* samples, int count, double at, bool cut);

private:
    void hand(AudioOutput& audio);

    TempoFilter filter;
    int rate = 0;
    int channels = 0;
    bool active = false;
    bool running = false;
    bool cutPending = false;
    double end = 0.0;      // where the sound handed on so far ends on the timeline
    double inputEnd = 0.0; // where the sound written so far ends on it
    std::vector<int16_t> out;
};

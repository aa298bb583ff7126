#pragma once

// The sound on its way to the sink at a speed other than 1: through the
// tempo filter, each piece placed on the playback timeline where the sound
// before it ends, from where the first piece after a cut or a gap was.
// At speed 1 the sound goes straight on, untouched.

#include "TempoFilter.h"

#include <vector>

class SoundSink;

class SoundTempo {
public:
    // The sound's format and the speed; the filter starts afresh.
    void configure(int sampleRate, int channels, double speed);
    // A flush: what the filter holds is dropped.
    void reset();
    // As SoundSink::write, with `at` on the timeline scaled by the speed.
    void write(SoundSink& sink, std::vector<float> samples, double at, bool cut);

private:
    void hand(SoundSink& sink);

    TempoFilter filter;
    int rate = 0;
    int channels = 0;
    bool active = false;
    bool running = false;
    bool cutPending = false;
    double end = 0.0;      // where the sound handed on so far ends on the timeline
    double inputEnd = 0.0; // where the sound written so far ends on it
    std::vector<float> out;
};

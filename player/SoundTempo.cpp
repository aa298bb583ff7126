#include "SoundTempo.h"

#include "AudioOutput.h"

#include <cmath>

namespace {
// Pieces of sound closer than this on the timeline join.
constexpr double kJoinSeconds = 0.001;
} // namespace

void SoundTempo::configure(int sampleRate, int channelCount, double speed) {
    rate = sampleRate;
    channels = channelCount;
    running = false;
    active = speed != 1.0 && filter.configure(rate, channels, speed);
}

void SoundTempo::reset() {
    filter.reset();
    running = false;
}

void SoundTempo::hand(AudioOutput& audio) {
    const int frames = static_cast<int>(out.size()) / channels;
    if (frames <= 0)
        return;
    audio.write(out.data(), frames, end, cutPending);
    cutPending = false;
    end += static_cast<double>(frames) / rate;
    out.clear();
}

void SoundTempo::write(AudioOutput& audio, const int16_t* samples, int count, double at, bool cut) {
    if (!active) {
        audio.write(samples, count, at, cut);
        return;
    }
    // At a cut, or where the sound written leaves a gap or overlaps (kept
    // fragments need not meet), what the filter holds plays before it and
    // the sound after it starts where it belongs.
    if (running && (cut || std::abs(at - inputEnd) > kJoinSeconds)) {
        filter.drain(out);
        hand(audio);
        running = false;
    }
    if (!running) {
        end = at;
        running = true;
        cutPending = cut;
    }
    inputEnd = at + static_cast<double>(count) / rate / filter.tempo();
    filter.process(samples, count, out);
    hand(audio);
}

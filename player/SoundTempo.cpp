#include "SoundTempo.h"

#include "SoundSink.h"

#include <cmath>
#include <utility>

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

void SoundTempo::hand(SoundSink& sink) {
    const int frames = static_cast<int>(out.size()) / channels;
    if (frames <= 0)
        return;
    sink.write(std::move(out), end, cutPending);
    out.clear();
    cutPending = false;
    end += static_cast<double>(frames) / rate;
}

void SoundTempo::write(SoundSink& sink, std::vector<float> samples, double at, bool cut) {
    if (!active) {
        sink.write(std::move(samples), at, cut);
        return;
    }
    // At a cut, or where the sound written leaves a gap or overlaps (kept
    // fragments need not meet), what the filter holds plays before it and
    // the sound after it starts where it belongs: the filter's own clock
    // would otherwise carry it ahead of the pictures.
    if (running && (cut || std::abs(at - inputEnd) > kJoinSeconds)) {
        filter.drain(out);
        hand(sink);
        running = false;
    }
    if (!running) {
        end = at;
        running = true;
        cutPending = cut;
    }
    const int count = static_cast<int>(samples.size()) / channels;
    inputEnd = at + static_cast<double>(count) / rate / filter.tempo();
    filter.process(samples.data(), count, out);
    hand(sink);
}

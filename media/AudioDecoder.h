#pragma once

// The audio stream's decoder: packets in, frames of samples out, in the
// decoder's own sample format (Resampler converts them).

#include "Decoder.h"

class AudioDecoder : public Decoder {
public:
    // Without the stream's time base the decoder cannot move a frame's
    // timestamp past the priming samples it drops (Opus, some AAC): the
    // summary writer has always decoded so, and its output stays as it was.
    Opened open(const AVStream* stream, bool withTimeBase = true);
    int sampleRate() const { return context->sample_rate; }
    int channels() const { return context->ch_layout.nb_channels; }
    AVSampleFormat sampleFormat() const { return context->sample_fmt; }
    // The channel layout; one of the channel count when the stream leaves it unsaid.
    void layout(AVChannelLayout* out) const;
};

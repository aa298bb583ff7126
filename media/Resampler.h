#pragma once

// Converts audio samples between sample formats, channel layouts and rates
// with libswresample. The output is fixed; the converter is made again
// whenever the input's rate, layout or format changes, so that a stream
// whose sound changes mid-way is still converted right.

#include "AVPointers.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

struct AudioShape {
    AVChannelLayout layout{};
    AVSampleFormat format = AV_SAMPLE_FMT_NONE;
    int rate = 0; // 0 as an output: the input's rate
};

class Resampler {
public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // The output every later conversion makes.
    void setOutput(const AVChannelLayout& layout, AVSampleFormat format, int rate);
    const AudioShape& output() const { return out; }
    // A converter is made for the last input prepared.
    bool ready() const { return context != nullptr; }
    // The converter is made for this input.
    bool takes(const AVChannelLayout& layout, AVSampleFormat format, int rate) const;
    // Samples (at the output rate) it holds back, to come with the next input.
    int64_t delay() const;

    // Makes the converter for this input unless it has it; false when none
    // can be made (the next call tries again).
    bool prepare(const AVChannelLayout& layout, AVSampleFormat format, int rate);
    // Converts count samples per channel of the prepared input into at most
    // room samples per channel at output; how many came, negative on failure.
    // Null input with count 0 drains what the converter still holds.
    int convert(const uint8_t* const* input, int count, uint8_t* const* output, int room);
    // A decoded frame, preparing for its own format first.
    int convert(const AVFrame* frame, uint8_t* const* output, int room);
    // The most samples per channel a conversion of count more may give.
    int outputRoom(int count) const;
    // Forgets the samples it holds, as at a cut.
    void reset();

private:
    static void assign(AudioShape* shape, const AVChannelLayout& layout, AVSampleFormat format,
                       int rate);

    AudioShape in;
    AudioShape out;
    ffmpeg::SwrPtr context;
};

#pragma once

// The first audio stream of the source, decoded forward and converted to
// the encoder's format; hands out the samples of the requested spans.

#include "AVPointers.h"
#include "AudioDecoder.h"
#include "Demuxer.h"
#include "Resampler.h"

#include <cstdint>
#include <string>

struct AVAudioFifo;

// Samples scratch of one format, grown on demand.
struct SampleScratch {
    ffmpeg::FramePtr frame{av_frame_alloc()};

    bool reserve(int samples, AVSampleFormat format, const AVChannelLayout& layout, int rate);
    void** planes() const { return reinterpret_cast<void**>(frame->extended_data); }
};

class AudioSpanSource {
public:
    bool open(const std::string& path, std::string* error);

    int sourceRate() const { return decoder.sampleRate(); }
    void sourceLayout(AVChannelLayout* layout) const { decoder.layout(layout); }

    bool setOutput(const AVChannelLayout& layout, AVSampleFormat sampleFormat, int rate,
                   std::string* error);

    // Writes exactly count samples to out: the source's sound from source
    // sample `from` on (at the output rate), silence where the source has none.
    bool take(int64_t from, int64_t count, AVAudioFifo* out);

private:
    bool writeSilence(AVAudioFifo* out, int64_t count);
    void seekTo(int64_t from);
    // Decodes one more audio frame into `pending`; false when none came.
    bool decodeMore();
    bool append();

    Demuxer demuxer;
    AudioDecoder decoder;
    Resampler resampler;
    ffmpeg::PacketPtr packet;
    ffmpeg::FramePtr decoded;
    ffmpeg::AudioFifoPtr pending;
    SampleScratch scratch;
    int stream = -1;
    int64_t pendingPos = 0; // source sample (at the output rate) of the first pending sample
    int64_t lastSeekTarget = -1;
    bool positionKnown = false;
    bool inputEnded = false;
    bool ended = false;
};

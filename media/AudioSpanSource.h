#pragma once

// One audio stream of a file (the first, unless another is chosen), decoded and converted to one fixed
// output format, handed out by time: the samples of a span on the file's
// own clock, placed by the sound's timestamps whatever the length of its
// packets, with silence where the file has no sound. Both the summary
// writer and the player's sound take their spans from it.

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
    // withTimeBase: see AudioDecoder::open. The stream of that index, or
    // the first audio stream when it is negative.
    bool open(const std::string& path, std::string* error, bool withTimeBase = false,
              int chosenStream = -1);

    int sourceRate() const { return decoder.sampleRate(); }
    void sourceLayout(AVChannelLayout* layout) const { decoder.layout(layout); }

    bool setOutput(const AVChannelLayout& layout, AVSampleFormat sampleFormat, int rate,
                   std::string* error);

    // Writes exactly count samples to out: the source's sound from source
    // sample `from` on (at the output rate), silence where the source has none.
    // Spans are taken in order; one before the last one's end needs jumpTo.
    bool take(int64_t from, int64_t count, AVAudioFifo* out);
    // The next span starts at `from`, wherever the last one ended.
    void jumpTo(int64_t from);
    // The stream has no more sound to give: every span from here on is silence.
    bool exhausted() const;
    // The file has an audio stream (once open was tried).
    bool hasStream() const { return stream >= 0; }
    // The index of the stream read (once open was tried); -1 without one.
    int streamIndex() const { return stream; }

private:
    bool writeSilence(AVAudioFifo* out, int64_t count);
    void seekTo(int64_t from);
    // Decodes one more audio frame into `pending`; false when none came.
    bool decodeMore();
    bool append();
    // Where the decoded frame's sound goes among the pending samples: how
    // many of its converted samples the pending ones already cover.
    bool place(int64_t* covered);
    // Keeps the first count pending samples; the converter starts afresh.
    void keepPending(int64_t count);
    // The converter's held samples into `pending`; the converter starts afresh.
    void drainConverter();
    // Converts count samples of input into `pending`, less the first skip.
    bool convertInto(const uint8_t* const* input, int count, int64_t skip);

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

#include "AudioSpanSource.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/audio_fifo.h>
}

namespace {
// A gap in the source's audio up to this long is filled with silence; a
// longer one (or a jump back) restarts the position from the timestamps.
constexpr double kMaxFilledGapSeconds = 10.0;
// Spans further ahead than this are reached by seeking rather than decoding.
constexpr double kSeekAheadSeconds = 5.0;
// How far the sound is decoded beyond the span asked for.
constexpr double kLookAheadSeconds = 0.25;
// A frame this close to where the sound before it ends follows on from it:
// containers round timestamps (Matroska to the millisecond).
constexpr double kFollowOnSeconds = 0.002;
} // namespace

bool SampleScratch::reserve(int samples, AVSampleFormat format, const AVChannelLayout& layout,
                            int rate) {
    if (frame->nb_samples >= samples && frame->format == format)
        return true;
    av_frame_unref(frame.get());
    frame->nb_samples = std::max(samples, 1024);
    frame->format = format;
    frame->sample_rate = rate;
    if (av_channel_layout_copy(&frame->ch_layout, &layout) < 0)
        return false;
    return av_frame_get_buffer(frame.get(), 0) >= 0;
}

bool AudioSpanSource::open(const std::string& path, std::string* error, bool withTimeBase,
                           int chosenStream) {
    switch (demuxer.open(path.c_str())) {
    case Demuxer::Opened::CannotOpen:
        *error = "cannot open '" + path + "' for its audio";
        return false;
    case Demuxer::Opened::NoStreamInfo:
        *error = "cannot read the streams of '" + path + "'";
        return false;
    case Demuxer::Opened::Yes:
        break;
    }
    // The first audio stream, as the player's reader takes, unless another is chosen.
    const AVFormatContext* context = demuxer.format();
    stream = chosenStream < 0 ? demuxer.lowestStream(AVMEDIA_TYPE_AUDIO) : chosenStream;
    if (stream < 0 || stream >= static_cast<int>(context->nb_streams) ||
        context->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        *error = "'" + path + "' has no audio stream" +
                 (chosenStream < 0 ? std::string() : " " + std::to_string(chosenStream));
        stream = -1;
        return false;
    }
    if (decoder.open(demuxer.stream(stream), withTimeBase) != Decoder::Opened::Yes) {
        *error = "cannot decode the audio of '" + path + "'";
        return false;
    }
    demuxer.discardAllBut(stream);
    demuxer.choose(stream);
    packet.reset(av_packet_alloc());
    decoded.reset(av_frame_alloc());
    return packet && decoded;
}

bool AudioSpanSource::setOutput(const AVChannelLayout& layout, AVSampleFormat sampleFormat,
                                int rate, std::string* error) {
    AVChannelLayout in{};
    sourceLayout(&in);
    resampler.setOutput(layout, sampleFormat, rate);
    const bool made = resampler.prepare(in, decoder.sampleFormat(), decoder.sampleRate());
    av_channel_layout_uninit(&in);
    if (!made) {
        *error = "cannot convert the source's audio";
        return false;
    }
    pending.reset(av_audio_fifo_alloc(sampleFormat, layout.nb_channels, 4096));
    return pending != nullptr;
}

bool AudioSpanSource::take(int64_t from, int64_t count, AVAudioFifo* out) {
    const AudioShape& shape = resampler.output();
    const auto lookAhead = std::llround(kLookAheadSeconds * shape.rate);
    while (count > 0) {
        const int size = av_audio_fifo_size(pending.get());
        if (size == 0) {
            if (ended)
                return writeSilence(out, count);
            // One seek per target: a seek that lands short is finished by decoding.
            if (positionKnown && from - pendingPos > kSeekAheadSeconds * shape.rate &&
                from != lastSeekTarget) {
                lastSeekTarget = from;
                seekTo(from);
            }
            decodeMore();
            continue;
        }
        // Decoded a little ahead of what is handed out: a stream joined on
        // after this one may start before this one ends, and wins.
        if (!ended && pendingPos + size < from + count + lookAhead) {
            decodeMore();
            continue;
        }
        if (pendingPos + size <= from) {
            av_audio_fifo_drain(pending.get(), size);
            pendingPos += size;
            continue;
        }
        if (pendingPos > from) {
            const int64_t silence = std::min(count, pendingPos - from);
            if (!writeSilence(out, silence))
                return false;
            from += silence;
            count -= silence;
            continue;
        }
        const int skip = static_cast<int>(from - pendingPos);
        av_audio_fifo_drain(pending.get(), skip);
        pendingPos += skip;
        const int n = static_cast<int>(std::min<int64_t>(count, size - skip));
        if (!scratch.reserve(n, shape.format, shape.layout, shape.rate))
            return false;
        if (av_audio_fifo_read(pending.get(), scratch.planes(), n) != n ||
            av_audio_fifo_write(out, scratch.planes(), n) != n)
            return false;
        pendingPos += n;
        from += n;
        count -= n;
    }
    return true;
}

bool AudioSpanSource::writeSilence(AVAudioFifo* out, int64_t count) {
    const AudioShape& shape = resampler.output();
    while (count > 0) {
        const int n = static_cast<int>(std::min<int64_t>(count, 4096));
        if (!scratch.reserve(n, shape.format, shape.layout, shape.rate))
            return false;
        av_samples_set_silence(scratch.frame->extended_data, 0, n, shape.layout.nb_channels,
                               shape.format);
        if (av_audio_fifo_write(out, scratch.planes(), n) != n)
            return false;
        count -= n;
    }
    return true;
}

bool AudioSpanSource::exhausted() const {
    return ended && (!pending || av_audio_fifo_size(pending.get()) == 0);
}

void AudioSpanSource::jumpTo(int64_t from) {
    lastSeekTarget = from;
    seekTo(from);
}

void AudioSpanSource::seekTo(int64_t from) {
    const AVStream* s = demuxer.stream(stream);
    const double seconds = static_cast<double>(from) / resampler.output().rate - 1.0;
    const auto ts = [s](double at) { return static_cast<int64_t>(at / av_q2d(s->time_base)); };
    // Near the start the seek aims before it: an encoder's priming packet
    // there, if the container lets a seek reach it, primes the decoder for
    // the first sound; from 0 that sound would come out faded or not at all.
    if (!demuxer.seek(stream, ts(seconds)) && (seconds >= 0.0 || !demuxer.seek(stream, 0)))
        return;
    demuxer.flush();
    decoder.flush();
    resampler.reset();
    av_audio_fifo_reset(pending.get());
    positionKnown = false;
    inputEnded = false;
    ended = false;
}

bool AudioSpanSource::decodeMore() {
    for (;;) {
        const int received = decoder.receive(decoded.get());
        if (received == 0)
            return append();
        if (received != AVERROR(EAGAIN)) {
            // End of the stream, or a decoder that cannot go on: the rest is silence.
            ended = true;
            return false;
        }
        if (inputEnded) {
            ended = true;
            return false;
        }
        if (!demuxer.read(stream, packet.get())) {
            inputEnded = true;
            decoder.send(nullptr);
            if (decoder.receive(decoded.get()) == 0)
                return append();
            ended = true;
            return false;
        }
        decoder.send(packet.get()); // a damaged packet is skipped
        av_packet_unref(packet.get());
    }
}

bool AudioSpanSource::append() {
    // A change of rate, layout or sample format mid-stream: the converter
    // is made anew, after what the old one holds.
    if (resampler.ready() &&
        !resampler.takes(decoded->ch_layout, static_cast<AVSampleFormat>(decoded->format),
                         decoded->sample_rate))
        drainConverter();
    int64_t covered = 0;
    const bool placed = place(&covered);
    const bool prepared = placed && resampler.prepare(decoded->ch_layout,
                                                      static_cast<AVSampleFormat>(decoded->format),
                                                      decoded->sample_rate);
    const bool converted =
        prepared && convertInto(decoded->extended_data, decoded->nb_samples, covered);
    av_frame_unref(decoded.get());
    return converted;
}

bool AudioSpanSource::place(int64_t* covered) {
    const int64_t ts = decoded->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        return true; // follows on from the frame before
    const int rate = resampler.output().rate;
    const int64_t at =
        std::llround(static_cast<double>(ts) * av_q2d(demuxer.stream(stream)->time_base) * rate);
    const int size = av_audio_fifo_size(pending.get());
    // Where this frame's sound goes if it follows on: after what is pending
    // and what the converter holds back.
    const int64_t end = pendingPos + size + resampler.delay();
    const int64_t filled = std::llround(kMaxFilledGapSeconds * rate);
    const bool known = positionKnown;
    positionKnown = true;
    if (!known) {
        if (size == 0)
            pendingPos = at;
    } else if (std::abs(at - end) <= std::llround(kFollowOnSeconds * rate)) {
        // Follows on.
    } else if (at > end && at - end < filled) {
        // A gap in the sound: silence, as long as the timestamps say.
        drainConverter();
        return writeSilence(pending.get(), at - (pendingPos + av_audio_fifo_size(pending.get())));
    } else if (at < end && end - at < filled) {
        // Sound that starts before the sound before it ends (two streams
        // joined, a repeated packet): the newer goes on from its time,
        // after what has already been handed out.
        keepPending(std::max<int64_t>(0, at - pendingPos));
        *covered = std::max<int64_t>(0, pendingPos - at);
    } else {
        av_audio_fifo_reset(pending.get());
        resampler.reset();
        pendingPos = at;
    }
    return true;
}

void AudioSpanSource::keepPending(int64_t count) {
    resampler.reset();
    const int size = av_audio_fifo_size(pending.get());
    const AudioShape& shape = resampler.output();
    if (count >= size || !scratch.reserve(size, shape.format, shape.layout, shape.rate))
        return;
    const int kept = av_audio_fifo_peek(pending.get(), scratch.planes(), static_cast<int>(count));
    av_audio_fifo_reset(pending.get());
    av_audio_fifo_write(pending.get(), scratch.planes(), kept);
}

void AudioSpanSource::drainConverter() {
    const int held = resampler.ready() ? resampler.outputRoom(0) : 0;
    if (held > 0)
        convertInto(nullptr, 0, 0);
    resampler.reset();
}

bool AudioSpanSource::convertInto(const uint8_t* const* input, int count, int64_t skip) {
    const AudioShape& shape = resampler.output();
    const int room = resampler.outputRoom(count);
    if (room <= 0 || !scratch.reserve(room, shape.format, shape.layout, shape.rate))
        return false;
    const int n = resampler.convert(input, count, scratch.frame->extended_data, room);
    if (n <= skip)
        return false;
    // The samples after the first skip, in every plane.
    const int channels = shape.layout.nb_channels;
    const int planar = av_sample_fmt_is_planar(shape.format);
    const int64_t offset = skip * av_get_bytes_per_sample(shape.format) * (planar ? 1 : channels);
    std::vector<void*> planes(planar ? channels : 1);
    for (size_t p = 0; p < planes.size(); ++p)
        planes[p] = scratch.frame->extended_data[p] + offset;
    const int kept = n - static_cast<int>(skip);
    return av_audio_fifo_write(pending.get(), planes.data(), kept) == kept;
}

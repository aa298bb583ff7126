#include "SummaryVideoWriter.h"

#include "AVPointers.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {

constexpr const char* kVideoEncoder = "libx264";
constexpr int64_t kAudioBitRate = 128000;
// One picture a minute.
constexpr AVRational kSlowestRate{1, 60};
// A gap in the source's audio up to this long is filled with silence; a
// longer one (or a jump back) restarts the position from the timestamps.
constexpr double kMaxFilledGapSeconds = 10.0;
// Spans further ahead than this are reached by seeking rather than decoding.
constexpr double kSeekAheadSeconds = 5.0;

std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FormatOutputDeleter {
    void operator()(AVFormatContext* c) const {
        if (c->pb != nullptr && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using FormatOutputPtr = std::unique_ptr<AVFormatContext, FormatOutputDeleter>;

struct ChannelLayout {
    AVChannelLayout layout{};
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
};

// Samples scratch of one format, grown on demand.
struct SampleScratch {
    ffmpeg::FramePtr frame{av_frame_alloc()};

    bool reserve(int samples, AVSampleFormat format, const AVChannelLayout& layout, int rate) {
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
    void** planes() const { return reinterpret_cast<void**>(frame->extended_data); }
};

} // namespace

// The first audio stream of the source, decoded forward and converted to
// the encoder's format; hands out the samples of the requested spans.
class AudioSpanSource {
public:
    bool open(const std::string& path, std::string* error) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) != 0) {
            *error = "cannot open '" + path + "' for its audio";
            return false;
        }
        format.reset(raw);
        if (avformat_find_stream_info(format.get(), nullptr) < 0) {
            *error = "cannot read the streams of '" + path + "'";
            return false;
        }
        // The first audio stream, as the player's reader takes.
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                stream = static_cast<int>(i);
                break;
            }
        }
        if (stream < 0) {
            *error = "'" + path + "' has no audio stream";
            return false;
        }
        const AVCodecParameters* par = format->streams[stream]->codecpar;
        const AVCodec* codec = avcodec_find_decoder(par->codec_id);
        decoder.reset(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
        if (!decoder || avcodec_parameters_to_context(decoder.get(), par) < 0 ||
            avcodec_open2(decoder.get(), codec, nullptr) < 0) {
            *error = "cannot decode the audio of '" + path + "'";
            return false;
        }
        for (unsigned i = 0; i < format->nb_streams; ++i)
            if (static_cast<int>(i) != stream)
                format->streams[i]->discard = AVDISCARD_ALL;
        packet.reset(av_packet_alloc());
        decoded.reset(av_frame_alloc());
        return packet && decoded;
    }

    int sourceRate() const { return decoder->sample_rate; }
    void sourceLayout(AVChannelLayout* layout) const {
        if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(layout, decoder->ch_layout.nb_channels);
        else
            av_channel_layout_copy(layout, &decoder->ch_layout);
    }

    bool setOutput(const AVChannelLayout& layout, AVSampleFormat sampleFormat, int rate,
                   std::string* error) {
        ChannelLayout in;
        sourceLayout(&in.layout);
        SwrContext* raw = nullptr;
        // FFmpeg 5.1 declares the layouts non-const but only reads them.
        if (swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&layout), sampleFormat, rate,
                                &in.layout, decoder->sample_fmt, decoder->sample_rate, 0,
                                nullptr) < 0 ||
            swr_init(raw) < 0) {
            swr_free(&raw);
            *error = "cannot convert the source's audio";
            return false;
        }
        swr.reset(raw);
        outRate = rate;
        outFormat = sampleFormat;
        if (av_channel_layout_copy(&outLayout.layout, &layout) < 0)
            return false;
        pending.reset(av_audio_fifo_alloc(sampleFormat, layout.nb_channels, 4096));
        return pending != nullptr;
    }

    // Writes exactly count samples to out: the source's sound from source
    // sample `from` on (at the output rate), silence where the source has none.
    bool take(int64_t from, int64_t count, AVAudioFifo* out) {
        while (count > 0) {
            const int size = av_audio_fifo_size(pending.get());
            if (size == 0) {
                if (ended)
                    return writeSilence(out, count);
                // One seek per target: a seek that lands short is finished by decoding.
                if (positionKnown && from - pendingPos > kSeekAheadSeconds * outRate &&
                    from != lastSeekTarget) {
                    lastSeekTarget = from;
                    seekTo(from);
                }
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
            if (!scratch.reserve(n, outFormat, outLayout.layout, outRate))
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

private:
    bool writeSilence(AVAudioFifo* out, int64_t count) {
        while (count > 0) {
            const int n = static_cast<int>(std::min<int64_t>(count, 4096));
            if (!scratch.reserve(n, outFormat, outLayout.layout, outRate))
                return false;
            av_samples_set_silence(scratch.frame->extended_data, 0, n, outLayout.layout.nb_channels,
                                   outFormat);
            if (av_audio_fifo_write(out, scratch.planes(), n) != n)
                return false;
            count -= n;
        }
        return true;
    }

    void seekTo(int64_t from) {
        const AVStream* s = format->streams[stream];
        const double seconds = std::max(0.0, static_cast<double>(from) / outRate - 1.0);
        const int64_t ts = static_cast<int64_t>(seconds / av_q2d(s->time_base));
        if (av_seek_frame(format.get(), stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
            return;
        avcodec_flush_buffers(decoder.get());
        av_audio_fifo_reset(pending.get());
        positionKnown = false;
        inputEnded = false;
    }

    // Decodes one more audio frame into `pending`; false when none came.
    bool decodeMore() {
        for (;;) {
            const int received = avcodec_receive_frame(decoder.get(), decoded.get());
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
            const int read = av_read_frame(format.get(), packet.get());
            if (read < 0) {
                inputEnded = true;
                avcodec_send_packet(decoder.get(), nullptr);
                if (avcodec_receive_frame(decoder.get(), decoded.get()) == 0)
                    return append();
                ended = true;
                return false;
            }
            if (packet->stream_index == stream)
                avcodec_send_packet(decoder.get(), packet.get()); // a damaged packet is skipped
            av_packet_unref(packet.get());
        }
    }

    bool append() {
        const AVStream* s = format->streams[stream];
        const int64_t ts = decoded->best_effort_timestamp;
        const int size = av_audio_fifo_size(pending.get());
        const int64_t end = pendingPos + size;
        if (ts != AV_NOPTS_VALUE) {
            const int64_t at =
                std::llround(static_cast<double>(ts) * av_q2d(s->time_base) * outRate);
            if (!positionKnown || size == 0) {
                if (size == 0)
                    pendingPos = at;
            } else if (at > end && at - end < kMaxFilledGapSeconds * outRate) {
                if (!writeSilence(pending.get(), at - end))
                    return false;
            } else if (at > end || at + kMaxFilledGapSeconds * outRate < end) {
                av_audio_fifo_reset(pending.get());
                pendingPos = at;
            }
            positionKnown = true;
        }
        const int room = swr_get_out_samples(swr.get(), decoded->nb_samples);
        if (room > 0 && !scratch.reserve(room, outFormat, outLayout.layout, outRate))
            return false;
        const int n = room > 0 ? swr_convert(swr.get(), scratch.frame->extended_data, room,
                                             const_cast<const uint8_t**>(decoded->extended_data),
                                             decoded->nb_samples)
                               : 0;
        av_frame_unref(decoded.get());
        if (n > 0)
            av_audio_fifo_write(pending.get(), scratch.planes(), n);
        return n > 0;
    }

    ffmpeg::InputPtr format;
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::SwrPtr swr;
    ffmpeg::PacketPtr packet;
    ffmpeg::FramePtr decoded;
    ffmpeg::AudioFifoPtr pending;
    SampleScratch scratch;
    ChannelLayout outLayout;
    AVSampleFormat outFormat = AV_SAMPLE_FMT_NONE;
    int outRate = 0;
    int stream = -1;
    int64_t pendingPos = 0; // source sample (at the output rate) of the first pending sample
    int64_t lastSeekTarget = -1;
    bool positionKnown = false;
    bool inputEnded = false;
    bool ended = false;
};

struct SummaryVideoWriter::State {
    FormatOutputPtr output;
    ffmpeg::CodecContextPtr video;
    ffmpeg::CodecContextPtr audio;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    ffmpeg::PacketPtr packet{av_packet_alloc()};
    ffmpeg::FramePtr picture{av_frame_alloc()};
    ffmpeg::FramePtr audioFrame{av_frame_alloc()};
    AudioSpanSource source;
    ffmpeg::AudioFifoPtr audioQueue;
    AVRational frameRate{25, 1};
    AVRational pictureTick{1, 25}; // one picture's duration
    int64_t pictures = 0;
    int64_t samplesQueued = 0; // samples given to audioQueue so far
    int64_t samplesEncoded = 0;
    bool headerWritten = false;
    bool finished = false;

    bool writePackets(AVCodecContext* encoder, AVStream* stream, std::string* error) {
        for (;;) {
            const int received = avcodec_receive_packet(encoder, packet.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
                return true;
            if (received < 0) {
                *error = "encoding failed: " + avError(received);
                return false;
            }
            av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(output.get(), packet.get());
            if (written < 0) {
                *error = "writing failed: " + avError(written);
                return false;
            }
        }
    }

    bool encode(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame,
                std::string* error) {
        const int sent = avcodec_send_frame(encoder, frame);
        if (sent < 0 && !(frame == nullptr && sent == AVERROR_EOF)) {
            *error = "encoding failed: " + avError(sent);
            return false;
        }
        return writePackets(encoder, stream, error);
    }

    // Encodes queued audio in whole encoder frames; with `last`, the rest too.
    bool encodeQueuedAudio(bool last, std::string* error) {
        const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
        const bool smallLast = audio->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
        for (;;) {
            const int queued = av_audio_fifo_size(audioQueue.get());
            if (queued == 0 || (queued < frameSize && !last))
                return true;
            const int n = std::min(queued, frameSize);
            av_frame_unref(audioFrame.get());
            audioFrame->nb_samples = n < frameSize && !smallLast ? frameSize : n;
            audioFrame->format = audio->sample_fmt;
            audioFrame->sample_rate = audio->sample_rate;
            if (av_channel_layout_copy(&audioFrame->ch_layout, &audio->ch_layout) < 0 ||
                av_frame_get_buffer(audioFrame.get(), 0) < 0) {
                *error = "out of memory for audio";
                return false;
            }
            av_samples_set_silence(audioFrame->extended_data, 0, audioFrame->nb_samples,
                                   audio->ch_layout.nb_channels, audio->sample_fmt);
            av_audio_fifo_read(audioQueue.get(),
                               reinterpret_cast<void**>(audioFrame->extended_data), n);
            audioFrame->pts = samplesEncoded;
            samplesEncoded += audioFrame->nb_samples;
            if (!encode(audio.get(), audioStream, audioFrame.get(), error))
                return false;
        }
    }

    bool openAudio(const std::string& path, std::string* error) {
        if (!source.open(path, error))
            return false;
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (codec == nullptr) {
            *error = "this FFmpeg has no AAC encoder";
            return false;
        }
        audio.reset(avcodec_alloc_context3(codec));
        if (!audio) {
            *error = "out of memory";
            return false;
        }
        audio->sample_fmt =
            codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        audio->sample_rate = chooseRate(codec, source.sourceRate());
        ChannelLayout layout;
        source.sourceLayout(&layout.layout);
        if (!layoutSupported(codec, layout.layout)) {
            av_channel_layout_uninit(&layout.layout);
            layout.layout = AV_CHANNEL_LAYOUT_STEREO;
        }
        if (av_channel_layout_copy(&audio->ch_layout, &layout.layout) < 0) {
            *error = "out of memory";
            return false;
        }
        audio->bit_rate = kAudioBitRate;
        audio->time_base = {1, audio->sample_rate};
        if (output->oformat->flags & AVFMT_GLOBALHEADER)
            audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int opened = avcodec_open2(audio.get(), codec, nullptr);
        if (opened < 0) {
            *error = "cannot open the AAC encoder: " + avError(opened);
            return false;
        }
        audioStream = avformat_new_stream(output.get(), nullptr);
        if (audioStream == nullptr ||
            avcodec_parameters_from_context(audioStream->codecpar, audio.get()) < 0) {
            *error = "cannot add the audio stream";
            return false;
        }
        audioStream->time_base = audio->time_base;
        audioQueue.reset(
            av_audio_fifo_alloc(audio->sample_fmt, audio->ch_layout.nb_channels, 8192));
        if (!audioQueue) {
            *error = "out of memory";
            return false;
        }
        return source.setOutput(audio->ch_layout, audio->sample_fmt, audio->sample_rate, error);
    }

    static int chooseRate(const AVCodec* codec, int wanted) {
        if (codec->supported_samplerates == nullptr)
            return wanted > 0 ? wanted : 48000;
        int best = codec->supported_samplerates[0];
        for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
            if (*r == wanted)
                return wanted;
            if (std::abs(*r - wanted) < std::abs(best - wanted))
                best = *r;
        }
        return best;
    }

    static bool layoutSupported(const AVCodec* codec, const AVChannelLayout& layout) {
        if (layout.nb_channels <= 0)
            return false;
        if (codec->ch_layouts == nullptr)
            return layout.nb_channels <= 2;
        for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels != 0; ++l)
            if (av_channel_layout_compare(l, &layout) == 0)
                return true;
        return false;
    }
};

SummaryVideoWriter::SummaryVideoWriter() : state(std::make_unique<State>()) {}
SummaryVideoWriter::~SummaryVideoWriter() = default;

int64_t SummaryVideoWriter::picturesWritten() const {
    return state->pictures;
}
bool SummaryVideoWriter::hasAudio() const {
    return state->audio != nullptr;
}

bool SummaryVideoWriter::open(const std::string& path, const VideoWriterFormat& format,
                              const std::string& audioSource, std::string* error) {
    State& s = *state;
    if (!s.packet || !s.picture || !s.audioFrame) {
        *error = "out of memory";
        return false;
    }
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mp4", path.c_str()) < 0 || raw == nullptr) {
        *error = "cannot make an MP4 file";
        return false;
    }
    s.output.reset(raw);

    const AVCodec* codec = avcodec_find_encoder_by_name(kVideoEncoder);
    if (codec == nullptr) {
        *error = "this FFmpeg has no libx264 encoder";
        return false;
    }
    s.video.reset(avcodec_alloc_context3(codec));
    if (!s.video) {
        *error = "out of memory";
        return false;
    }
    s.frameRate = {format.frameRateNum, format.frameRateDen};
    // MP4 stores each picture's duration in 32 bits of its clock.
    if (s.frameRate.num <= 0 || s.frameRate.den <= 0 || av_cmp_q(s.frameRate, kSlowestRate) < 0) {
        *error = "the source's frame rate (" + std::to_string(s.frameRate.num) + "/" +
                 std::to_string(s.frameRate.den) + ") is too low for an MP4 summary";
        return false;
    }
    // 4:2:0 needs even sizes; an odd last column or row is left out.
    s.video->width = format.width & ~1;
    s.video->height = format.height & ~1;
    s.video->pix_fmt = AV_PIX_FMT_YUV420P;
    // Below one picture a second the time base would be longer than a
    // second, which MP4 cannot store: count in milliseconds instead.
    s.pictureTick = av_inv_q(s.frameRate);
    s.video->time_base = s.frameRate.num >= s.frameRate.den ? s.pictureTick : AVRational{1, 1000};
    s.video->framerate = s.frameRate;
    s.video->sample_aspect_ratio = {format.sarNum, format.sarDen};
    s.video->thread_count = 0;
    if (s.output->oformat->flags & AVFMT_GLOBALHEADER)
        s.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(s.video->priv_data, "preset", "veryfast", 0);
    av_opt_set(s.video->priv_data, "crf", "20", 0);
    if (s.video->width <= 0 || s.video->height <= 0) {
        *error = "the picture is too small to encode";
        return false;
    }
    const int opened = avcodec_open2(s.video.get(), codec, nullptr);
    if (opened < 0) {
        *error = "cannot open the H.264 encoder: " + avError(opened);
        return false;
    }
    s.videoStream = avformat_new_stream(s.output.get(), nullptr);
    if (s.videoStream == nullptr ||
        avcodec_parameters_from_context(s.videoStream->codecpar, s.video.get()) < 0) {
        *error = "cannot add the video stream";
        return false;
    }
    s.videoStream->time_base = s.video->time_base;
    s.videoStream->avg_frame_rate = s.frameRate;
    s.videoStream->sample_aspect_ratio = s.video->sample_aspect_ratio;

    if (!audioSource.empty() && !s.openAudio(audioSource, error))
        return false;

    if (avio_open(&s.output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(s.output.get(), &options);
    av_dict_free(&options);
    if (header < 0) {
        *error = "cannot write the MP4 header: " + avError(header);
        return false;
    }
    s.headerWritten = true;
    return true;
}

bool SummaryVideoWriter::addSpan(double sourceStart, double sourceEnd,
                                 const std::vector<TimedPicture>& pictures, std::string* error) {
    State& s = *state;
    if (!s.headerWritten || s.finished) {
        *error = "the summary video is not open";
        return false;
    }
    if (pictures.empty())
        return true;
    const double rate = av_q2d(s.frameRate);
    const int64_t slots = std::max<int64_t>(1, std::llround((sourceEnd - sourceStart) * rate));
    AVFrame* frame = s.picture.get();
    size_t shown = 0;
    for (int64_t slot = 0; slot < slots; ++slot) {
        // The last picture that has begun by the middle of this slot.
        const double middle = sourceStart + (static_cast<double>(slot) + 0.5) / rate;
        while (shown + 1 < pictures.size() && pictures[shown + 1].time <= middle)
            ++shown;
        const AVFrame* source = pictures[shown].picture;
        // The encoder copies a picture that has no reference-counted buffer.
        av_frame_unref(frame);
        for (int plane = 0; plane < 3; ++plane) {
            frame->data[plane] = source->data[plane];
            frame->linesize[plane] = source->linesize[plane];
        }
        frame->width = s.video->width;
        frame->height = s.video->height;
        frame->format = AV_PIX_FMT_YUV420P;
        frame->pts = av_rescale_q(s.pictures++, s.pictureTick, s.video->time_base);
        const bool ok = s.encode(s.video.get(), s.videoStream, frame, error);
        for (int plane = 0; plane < 3; ++plane)
            frame->data[plane] = nullptr;
        if (!ok)
            return false;
    }
    if (!s.audio)
        return true;

    // The sound follows the pictures sample-exactly: the running total of
    // samples always matches the running total of pictures.
    const int sampleRate = s.audio->sample_rate;
    const int64_t target =
        av_rescale_rnd(s.pictures, static_cast<int64_t>(sampleRate) * s.frameRate.den,
                       s.frameRate.num, AV_ROUND_NEAR_INF);
    const int64_t from = std::llround(sourceStart * sampleRate);
    if (!s.source.take(from, target - s.samplesQueued, s.audioQueue.get())) {
        *error = "cannot read the source's audio";
        return false;
    }
    s.samplesQueued = target;
    return s.encodeQueuedAudio(false, error);
}

bool SummaryVideoWriter::finish(std::string* error) {
    State& s = *state;
    if (!s.headerWritten || s.finished) {
        *error = "the summary video is not open";
        return false;
    }
    s.finished = true;
    if (!s.encode(s.video.get(), s.videoStream, nullptr, error))
        return false;
    if (s.audio && (!s.encodeQueuedAudio(true, error) ||
                    !s.encode(s.audio.get(), s.audioStream, nullptr, error)))
        return false;
    const int trailer = av_write_trailer(s.output.get());
    if (trailer < 0) {
        *error = "cannot finish the MP4 file: " + avError(trailer);
        return false;
    }
    if (avio_closep(&s.output->pb) < 0) {
        *error = "cannot close the MP4 file";
        return false;
    }
    return true;
}

#include "SummaryVideoWriter.h"

#include "AudioSpanSource.h"
#include "Encoder.h"
#include "Muxer.h"
#include "SummarySubtitles.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}

namespace {

constexpr const char* kVideoEncoder = "libx264";
constexpr int64_t kAudioBitRate = 128000;
// One picture a minute.
constexpr AVRational kSlowestRate{1, 60};
constexpr AVRational kMilliseconds{1, 1000};

// The header the mov_text encoder reads its default style from.
constexpr const char* kSubtitleHeader =
    "[Script Info]\nScriptType: v4.00+\nPlayResX: 384\nPlayResY: 288\n\n"
    "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
    "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\n\n"
    "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

struct ChannelLayout {
    AVChannelLayout layout{};
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&layout); }
};

} // namespace

struct SummaryVideoWriter::State {
    Muxer output;
    Encoder video;
    Encoder audio;
    bool withAudio = false;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
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
    // The span under way: where it starts in the source, the summary's
    // pictures it fills, how many are written, and the picture last given.
    struct Span {
        double start = 0.0;
        int64_t slots = 0;
        int64_t slot = 0;
    } span;
    ffmpeg::FramePtr shown{av_frame_alloc()};
    ffmpeg::CodecContextPtr subtitleEncoder;
    AVStream* subtitleStream = nullptr;
    std::vector<SummaryLine> subtitleLines;

    bool openSubtitles(const std::string& language, std::string* error) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MOV_TEXT);
        if (codec == nullptr) {
            *error = "this FFmpeg has no mov_text encoder";
            return false;
        }
        subtitleEncoder.reset(avcodec_alloc_context3(codec));
        const size_t headerSize = std::char_traits<char>::length(kSubtitleHeader);
        AVCodecContext* t = subtitleEncoder.get();
        if (t == nullptr || (t->subtitle_header = static_cast<uint8_t*>(av_mallocz(headerSize + 1))) == nullptr) {
            *error = "out of memory";
            return false;
        }
        std::copy_n(kSubtitleHeader, headerSize, t->subtitle_header);
        t->subtitle_header_size = static_cast<int>(headerSize);
        t->time_base = kMilliseconds;
        if (output.wantsGlobalHeader())
            t->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int opened = avcodec_open2(t, codec, nullptr);
        if (opened < 0) {
            *error = "cannot open the mov_text encoder: " + avErrorText(opened);
            return false;
        }
        subtitleStream = output.addStream(t);
        if (subtitleStream == nullptr) {
            *error = "cannot add the subtitle stream";
            return false;
        }
        if (!language.empty())
            av_dict_set(&subtitleStream->metadata, "language", language.c_str(), 0);
        subtitleStream->disposition |= AV_DISPOSITION_DEFAULT;
        return true;
    }

    bool writeSubtitles(std::string* error) {
        const ffmpeg::PacketPtr packet(av_packet_alloc());
        if (!packet) {
            *error = "out of memory";
            return false;
        }
        std::vector<uint8_t> buffer;
        for (const SummaryLine& sample : samplesOf(subtitleLines)) {
            std::string event = "0,0,Default,,0,0,0,," + eventText(sample.text);
            AVSubtitleRect rect{};
            rect.type = SUBTITLE_ASS;
            rect.ass = event.data();
            AVSubtitleRect* rects[] = {&rect};
            AVSubtitle subtitle{};
            subtitle.num_rects = 1;
            subtitle.rects = rects;
            subtitle.pts = av_rescale_q(sample.startMs, kMilliseconds, AV_TIME_BASE_Q);
            subtitle.end_display_time = static_cast<uint32_t>(sample.endMs - sample.startMs);
            buffer.resize(event.size() * 2 + 1024);
            const int size = avcodec_encode_subtitle(subtitleEncoder.get(), buffer.data(),
                                                     static_cast<int>(buffer.size()), &subtitle);
            if (size < 0) {
                *error = "cannot encode a subtitle line: " + avErrorText(size);
                return false;
            }
            if (av_new_packet(packet.get(), size) < 0) {
                *error = "out of memory";
                return false;
            }
            std::copy_n(buffer.data(), size, packet->data);
            packet->pts = packet->dts = sample.startMs;
            packet->duration = sample.endMs - sample.startMs;
            packet->flags |= AV_PKT_FLAG_KEY;
            if (!output.write(packet.get(), kMilliseconds, subtitleStream, error))
                return false;
            av_packet_unref(packet.get());
        }
        return true;
    }

    bool encodePicture(const AVFrame* source, std::string* error) {
        // The encoder copies a picture that has no reference-counted buffer.
        AVFrame* frame = picture.get();
        av_frame_unref(frame);
        for (int plane = 0; plane < 3; ++plane) {
            frame->data[plane] = source->data[plane];
            frame->linesize[plane] = source->linesize[plane];
        }
        frame->width = video.codec()->width;
        frame->height = video.codec()->height;
        frame->format = AV_PIX_FMT_YUV420P;
        frame->pts = av_rescale_q(pictures++, pictureTick, video.codec()->time_base);
        const bool ok = encode(video, videoStream, frame, error);
        for (int plane = 0; plane < 3; ++plane)
            frame->data[plane] = nullptr;
        return ok;
    }

    bool encode(Encoder& encoder, const AVStream* stream, const AVFrame* frame,
                std::string* error) {
        const AVRational from = encoder.codec()->time_base;
        return encoder.encode(
            frame,
            [&](AVPacket* packet, std::string* failure) {
                return output.write(packet, from, stream, failure);
            },
            error);
    }

    // Encodes queued audio in whole encoder frames; with `last`, the rest too.
    bool encodeQueuedAudio(bool last, std::string* error) {
        const AVCodecContext* a = audio.codec();
        const int frameSize = a->frame_size > 0 ? a->frame_size : 1024;
        const bool smallLast = a->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME;
        for (;;) {
            const int queued = av_audio_fifo_size(audioQueue.get());
            if (queued == 0 || (queued < frameSize && !last))
                return true;
            const int n = std::min(queued, frameSize);
            av_frame_unref(audioFrame.get());
            audioFrame->nb_samples = n < frameSize && !smallLast ? frameSize : n;
            audioFrame->format = a->sample_fmt;
            audioFrame->sample_rate = a->sample_rate;
            if (av_channel_layout_copy(&audioFrame->ch_layout, &a->ch_layout) < 0 ||
                av_frame_get_buffer(audioFrame.get(), 0) < 0) {
                *error = "out of memory for audio";
                return false;
            }
            av_samples_set_silence(audioFrame->extended_data, 0, audioFrame->nb_samples,
                                   a->ch_layout.nb_channels, a->sample_fmt);
            av_audio_fifo_read(audioQueue.get(),
                               reinterpret_cast<void**>(audioFrame->extended_data), n);
            audioFrame->pts = samplesEncoded;
            samplesEncoded += audioFrame->nb_samples;
            if (!encode(audio, audioStream, audioFrame.get(), error))
                return false;
        }
    }

    bool openAudio(const std::string& path, int stream, std::string* error) {
        if (!source.open(path, error, false, stream))
            return false;
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (codec == nullptr) {
            *error = "this FFmpeg has no AAC encoder";
            return false;
        }
        if (!audio.create(codec)) {
            *error = "out of memory";
            return false;
        }
        withAudio = true;
        AVCodecContext* a = audio.settings();
        a->sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        a->sample_rate = Encoder::closestRate(codec, source.sourceRate());
        ChannelLayout layout;
        source.sourceLayout(&layout.layout);
        if (!Encoder::supportsLayout(codec, layout.layout)) {
            av_channel_layout_uninit(&layout.layout);
            layout.layout = AV_CHANNEL_LAYOUT_STEREO;
        }
        if (av_channel_layout_copy(&a->ch_layout, &layout.layout) < 0) {
            *error = "out of memory";
            return false;
        }
        a->bit_rate = kAudioBitRate;
        a->time_base = {1, a->sample_rate};
        if (output.wantsGlobalHeader())
            a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        const int opened = audio.open();
        if (opened < 0) {
            *error = "cannot open the AAC encoder: " + avErrorText(opened);
            return false;
        }
        audioStream = output.addStream(a);
        if (audioStream == nullptr) {
            *error = "cannot add the audio stream";
            return false;
        }
        audioQueue.reset(av_audio_fifo_alloc(a->sample_fmt, a->ch_layout.nb_channels, 8192));
        if (!audioQueue) {
            *error = "out of memory";
            return false;
        }
        return source.setOutput(a->ch_layout, a->sample_fmt, a->sample_rate, error);
    }
};

SummaryVideoWriter::SummaryVideoWriter() : state(std::make_unique<State>()) {}
SummaryVideoWriter::~SummaryVideoWriter() = default;

int64_t SummaryVideoWriter::picturesWritten() const {
    return state->pictures;
}
bool SummaryVideoWriter::hasAudio() const {
    return state->withAudio;
}

bool SummaryVideoWriter::open(const std::string& path, const VideoWriterFormat& format,
                              const std::string& audioSource, std::string* error) {
    State& s = *state;
    if (!s.picture || !s.audioFrame || !s.shown) {
        *error = "out of memory";
        return false;
    }
    if (!s.output.create(path, "mp4", error))
        return false;

    const AVCodec* codec = avcodec_find_encoder_by_name(kVideoEncoder);
    if (codec == nullptr) {
        *error = "this FFmpeg has no libx264 encoder";
        return false;
    }
    if (!s.video.create(codec)) {
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
    AVCodecContext* v = s.video.settings();
    // 4:2:0 needs even sizes; an odd last column or row is left out.
    v->width = format.width & ~1;
    v->height = format.height & ~1;
    v->pix_fmt = AV_PIX_FMT_YUV420P;
    // Below one picture a second the time base would be longer than a
    // second, which MP4 cannot store: count in milliseconds instead.
    s.pictureTick = av_inv_q(s.frameRate);
    v->time_base = s.frameRate.num >= s.frameRate.den ? s.pictureTick : AVRational{1, 1000};
    v->framerate = s.frameRate;
    v->sample_aspect_ratio = {format.sarNum, format.sarDen};
    v->thread_count = format.threads;
    if (s.output.wantsGlobalHeader())
        v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(v->priv_data, "preset", "veryfast", 0);
    av_opt_set(v->priv_data, "crf", "20", 0);
    if (format.leanLookahead)
        av_opt_set(v->priv_data, "x264-params", "sync-lookahead=0", 0);
    if (v->width <= 0 || v->height <= 0) {
        *error = "the picture is too small to encode";
        return false;
    }
    const int opened = s.video.open();
    if (opened < 0) {
        *error = "cannot open the H.264 encoder: " + avErrorText(opened);
        return false;
    }
    s.videoStream = s.output.addStream(v);
    if (s.videoStream == nullptr) {
        *error = "cannot add the video stream";
        return false;
    }
    s.videoStream->avg_frame_rate = s.frameRate;
    s.videoStream->sample_aspect_ratio = v->sample_aspect_ratio;

    if (!audioSource.empty() && !s.openAudio(audioSource, format.audioStream, error))
        return false;
    if (format.subtitles && !s.openSubtitles(format.subtitleLanguage, error))
        return false;
    if (!s.output.start("movflags=+faststart", error))
        return false;
    s.headerWritten = true;
    return true;
}

bool SummaryVideoWriter::addSpan(double sourceStart, double sourceEnd,
                                 const std::vector<TimedPicture>& pictures, std::string* error) {
    if (!beginSpan(sourceStart, sourceEnd, error))
        return false;
    for (const TimedPicture& p : pictures)
        if (!addPicture(p.picture, p.time, error))
            return false;
    return endSpan(error);
}

bool SummaryVideoWriter::beginSpan(double sourceStart, double sourceEnd, std::string* error) {
    State& s = *state;
    if (!s.headerWritten || s.finished) {
        *error = "the summary video is not open";
        return false;
    }
    const double rate = av_q2d(s.frameRate);
    s.span = {sourceStart, std::max<int64_t>(1, std::llround((sourceEnd - sourceStart) * rate)), 0};
    av_frame_unref(s.shown.get());
    return true;
}

bool SummaryVideoWriter::addPicture(const AVFrame* picture, double time, std::string* error) {
    State& s = *state;
    // Each slot shows the last picture that has begun by its middle: the
    // slots before this picture's time show the one before it.
    if (s.shown->data[0] != nullptr) {
        const double rate = av_q2d(s.frameRate);
        for (; s.span.slot < s.span.slots; ++s.span.slot) {
            const double middle = s.span.start + (static_cast<double>(s.span.slot) + 0.5) / rate;
            if (time <= middle)
                break;
            if (!s.encodePicture(s.shown.get(), error))
                return false;
        }
    }
    av_frame_unref(s.shown.get());
    if (av_frame_ref(s.shown.get(), picture) < 0) {
        *error = "out of memory";
        return false;
    }
    return true;
}

bool SummaryVideoWriter::endSpan(std::string* error) {
    State& s = *state;
    if (s.shown->data[0] == nullptr)
        return true; // no pictures, no slots
    for (; s.span.slot < s.span.slots; ++s.span.slot)
        if (!s.encodePicture(s.shown.get(), error))
            return false;
    av_frame_unref(s.shown.get());
    if (!s.withAudio)
        return true;

    // The sound follows the pictures sample-exactly: the running total of
    // samples always matches the running total of pictures.
    const int sampleRate = s.audio.codec()->sample_rate;
    const int64_t target =
        av_rescale_rnd(s.pictures, static_cast<int64_t>(sampleRate) * s.frameRate.den,
                       s.frameRate.num, AV_ROUND_NEAR_INF);
    const int64_t from = std::llround(s.span.start * sampleRate);
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
    if (s.subtitleStream != nullptr && !s.writeSubtitles(error))
        return false;
    if (!s.encode(s.video, s.videoStream, nullptr, error))
        return false;
    if (s.withAudio &&
        (!s.encodeQueuedAudio(true, error) || !s.encode(s.audio, s.audioStream, nullptr, error)))
        return false;
    return s.output.finish(error);
}

bool SummaryVideoWriter::addSubtitle(int64_t startMs, int64_t endMs, const std::string& text,
                                     std::string* error) {
    State& s = *state;
    if (s.subtitleStream == nullptr || s.finished) {
        *error = "the summary video has no subtitle track";
        return false;
    }
    if (endMs > startMs && !text.empty())
        s.subtitleLines.push_back({startMs, endMs, text});
    return true;
}

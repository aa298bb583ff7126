#include "VideoReader.h"

#include "Messages.h"
#include "Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

extern "C" {
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {
constexpr const char* kOpenError = "VideoReader::VideoReader: av_open_input_file error\n";
constexpr const char* kStreamInfoError = "VideoReader::VideoReader: av_find_strean_info error\n";
constexpr const char* kNoVideoError = "VideoReader::VideoReader: Could not find a video stream\n";
constexpr const char* kNoCodecError = "VideoReader::VideoReader: pCodec == NULL\n";
constexpr const char* kCodecOpenError = "VideoReader::VideoReader: Unable to open codec\n";
constexpr const char* kNoAudioCodecError = "VideoReader::VideoReader: pCodecAudio == NULL\n";
constexpr const char* kSamplesAllocError = "\nVideoReader::VideoReader memory allocation error";
constexpr const char* kAudioCodecOpenError =
    "VideoReader::VideoReader: Unable to open Audio codec\n";
constexpr const char* kSizeWarning = "VideoReader::getVideoSize WARNING:VideoReader Status==ERROR";
constexpr const char* kFrameError =
    "VideoReader::getNextFrame Unable to operate VideoReader Status==ERROR";
constexpr const char* kFullAudioWarning =
    "\nWARNING!Full audio buffer! Possible audio lost audio samples";
constexpr const char* kSeekFail1 = "\nVideoReader::seekFrameWKey Seek fail. (1)";
constexpr const char* kSeekFail2 = "\nVideoReader::seekFrameWKey Seek fail. (2)";

constexpr int kMaxSeekAttempts = 200;
constexpr double kLongestGroupSeconds = 60.0;
// Consecutive decoding errors after which a stream is taken as ended.
constexpr int kMaxDecodeFailures = 10000;

// Truncates toward zero, saturating where a double leaves the int64 range.
int64_t truncateToInt64(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

bool isUsable(AVRational rate) {
    return rate.num > 0 && rate.den > 0;
}

} // namespace

int lowestStream(const AVFormatContext* context, AVMediaType type) {
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type != type)
            continue;
        if (type == AVMEDIA_TYPE_VIDEO && (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        return static_cast<int>(i);
    }
    return -1;
}

void VideoReader::PictureFreer::operator()(AVFrame* picture) const {
    free_picture(picture);
}

VideoReader::VideoReader(const char* path, const ReaderOptions& options) : options(options) {
    frameCount = 0;
    if (!open(path))
        status = ERROR;
}

bool VideoReader::open(const char* path) {
    // A longer path cannot be kept whole; opening a truncated one could open
    // another file.
    if (path == nullptr || std::strlen(path) >= FILE_NAME_SIZE) {
        engineMessage(MessageStream::Error, "%s", kOpenError);
        return false;
    }
    std::snprintf(fileName, sizeof(fileName), "%s", path);

    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, fileName, nullptr, nullptr) != 0) {
        engineMessage(MessageStream::Error, "%s", kOpenError);
        return false;
    }
    pFormatCtx.reset(context);
    if (avformat_find_stream_info(context, nullptr) < 0) {
        engineMessage(MessageStream::Error, "%s", kStreamInfoError);
        return false;
    }

    videoStream = lowestStream(context, AVMEDIA_TYPE_VIDEO);
    if (videoStream < 0) {
        engineMessage(MessageStream::Error, "%s", kNoVideoError);
        return false;
    }
    audioStream = lowestStream(context, AVMEDIA_TYPE_AUDIO);
    if (audioStream >= 0 && !options.audio) {
        // The demuxer drops its packets unread.
        context->streams[audioStream]->discard = AVDISCARD_ALL;
        audioStream = -1;
    }

    const AVStream* stream = context->streams[videoStream];
    pCodec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (pCodec == nullptr) {
        engineMessage(MessageStream::Error, "%s", kNoCodecError);
        return false;
    }
    pCodecCtx.reset(avcodec_alloc_context3(pCodec));
    if (!pCodecCtx || avcodec_parameters_to_context(pCodecCtx.get(), stream->codecpar) < 0) {
        engineMessage(MessageStream::Error, "%s", kCodecOpenError);
        return false;
    }
    if (static_cast<int64_t>(pCodecCtx->width) * pCodecCtx->height > MAX_PICTURE_AREA) {
        engineMessage(MessageStream::Error,
                      "VideoReader::VideoReader: picture size %dx%d is too large\n",
                      pCodecCtx->width, pCodecCtx->height);
        return false;
    }
    pCodecCtx->max_pixels = MAX_PICTURE_AREA; // also for sizes that change mid-stream
    pCodecCtx->pkt_timebase = stream->time_base;
    pCodecCtx->thread_count = options.decoderThreads; // 0: as many as the machine has
    if (avcodec_open2(pCodecCtx.get(), pCodec, nullptr) < 0) {
        engineMessage(MessageStream::Error, "%s", kCodecOpenError);
        return false;
    }
    videoWidth = pCodecCtx->width;
    videoHeight = pCodecCtx->height;
    if (isUsable(stream->r_frame_rate))
        fps = av_q2d(stream->r_frame_rate);
    else if (isUsable(stream->avg_frame_rate))
        fps = av_q2d(stream->avg_frame_rate);
    else
        fps = 25.0;

    pFrame.reset(av_frame_alloc());
    readBuffer.reset(av_packet_alloc());
    if (!pFrame || !readBuffer) {
        engineMessage(MessageStream::Error, "%s", kCodecOpenError);
        return false;
    }

    if (audioStream >= 0 && !openAudio()) {
        audioRefused = true;
        return false;
    }

    audioBuffer = std::make_unique<PacketBuffer>();
    videoBuffer = std::make_unique<PacketBuffer>();
    audioSampleCount = 0;
    status = OK;
    return true;
}

bool VideoReader::openAudio() {
    const AVStream* stream = pFormatCtx->streams[audioStream];
    pCodecAudio = avcodec_find_decoder(stream->codecpar->codec_id);
    if (pCodecAudio == nullptr) {
        engineMessage(MessageStream::Error, "%s", kNoAudioCodecError);
        return false;
    }
    audioSamples.reset(new (std::nothrow) int16_t[AUDIO_SAMPLES_SIZE]);
    if (audioSamples) {
        audioSamplesSize = AUDIO_SAMPLES_SIZE;
    } else {
        // Without the buffer the reader goes on with video only.
        engineMessage(MessageStream::Output, "%s", kSamplesAllocError);
        audioSamplesSize = 0;
    }
    pCodecCtxAudio.reset(avcodec_alloc_context3(pCodecAudio));
    if (!pCodecCtxAudio ||
        avcodec_parameters_to_context(pCodecCtxAudio.get(), stream->codecpar) < 0) {
        engineMessage(MessageStream::Error, "%s", kAudioCodecOpenError);
        return false;
    }
    pCodecCtxAudio->pkt_timebase = stream->time_base;
    if (avcodec_open2(pCodecCtxAudio.get(), pCodecAudio, nullptr) < 0) {
        engineMessage(MessageStream::Error, "%s", kAudioCodecOpenError);
        return false;
    }
    audioChannels = pCodecCtxAudio->ch_layout.nb_channels;
    audioFrame.reset(av_frame_alloc());
    if (!audioFrame) {
        engineMessage(MessageStream::Error, "%s", kAudioCodecOpenError);
        return false;
    }
    return true;
}

VideoReader::~VideoReader() {
    pFrame.reset();
    convertedPicture.reset();
    scaler.reset();
    pCodecCtx.reset();
    pCodecCtxAudio.reset();
    audioFrame.reset();
    resampler.reset();
    av_channel_layout_uninit(&resamplerInputLayout);
    audioSamples.reset();
    audioBuffer.reset();
    videoBuffer.reset();
    readBuffer.reset();
    pFormatCtx.reset();
}

void VideoReader::getVideoSize(int* width, int* height) {
    if (status == ERROR)
        engineMessage(MessageStream::Error, "%s", kSizeWarning);
    *width = videoWidth;
    *height = videoHeight;
}

int64_t VideoReader::getVideoLength() {
    if (!pFormatCtx || videoStream < 0)
        return 0;
    const AVStream* stream = pFormatCtx->streams[videoStream];
    if (stream->duration != AV_NOPTS_VALUE)
        return stream->duration;
    if (pFormatCtx->duration != AV_NOPTS_VALUE && isUsable(stream->time_base))
        return av_rescale_q(pFormatCtx->duration, AV_TIME_BASE_Q, stream->time_base);
    return 0;
}

double VideoReader::timestampToSeconds(int64_t ts) {
    if (!pFormatCtx || videoStream < 0)
        return 0.0;
    const AVRational base = pFormatCtx->streams[videoStream]->time_base;
    return static_cast<double>(ts) / (static_cast<double>(base.den) / base.num);
}

int32_t VideoReader::timestampToFrame(int64_t ts) {
    if (!pFormatCtx || videoStream < 0)
        return 0;
    const AVRational base = pFormatCtx->streams[videoStream]->time_base;
    const double perFrame = (static_cast<double>(base.den) / base.num) / fps;
    // The low 32 bits, as the callers store the frame number unsigned.
    const auto frame = static_cast<uint64_t>(truncateToInt64(static_cast<double>(ts) / perFrame));
    return static_cast<int32_t>(static_cast<uint32_t>(frame));
}

bool VideoReader::readPacket(int stream, AVPacket* out) {
    PacketBuffer& wanted = stream == videoStream ? *videoBuffer : *audioBuffer;
    while (wanted.isEmpty()) {
        // Only the demuxer's end (or a read error) ends the input; empty
        // packets are delivered like any other.
        if (endOfInput || av_read_frame(pFormatCtx.get(), readBuffer.get()) < 0) {
            endOfInput = true;
            return false;
        }
        if (readBuffer->stream_index == videoStream)
            videoBuffer->putPacket(*readBuffer);
        else if (readBuffer->stream_index == audioStream)
            audioBuffer->putPacket(*readBuffer);
        av_packet_unref(readBuffer.get());
    }
    wanted.getPacket(out);
    return true;
}

bool VideoReader::decodePicture() {
    AVCodecContext* decoder = pCodecCtx.get();
    int failures = 0;
    for (;;) {
        const int received = avcodec_receive_frame(decoder, pFrame.get());
        if (received == 0)
            break;
        if (received == AVERROR_EOF)
            return false;
        if (received != AVERROR(EAGAIN)) {
            // A damaged picture (reported here by threaded decoders): the
            // decoder has moved past it and may hold more.
            if (++failures > kMaxDecodeFailures)
                return false;
            continue;
        }
        if (videoDraining)
            return false;
        AVPacket packet{};
        if (!readPacket(videoStream, &packet)) {
            // End of input: the decoder still holds the last pictures.
            avcodec_send_packet(decoder, nullptr);
            videoDraining = true;
            continue;
        }
        if (packet.size > 0)
            avcodec_send_packet(decoder, &packet); // a damaged packet is skipped, as ffmpeg does
        PacketBuffer::releasePacket(&packet);
    }

    int64_t ts = pFrame->pkt_dts;
    if (ts == AV_NOPTS_VALUE) {
        // Drained pictures carry none: go on one frame at a time.
        const AVRational base = pFormatCtx->streams[videoStream]->time_base;
        const int64_t perFrame =
            std::max<int64_t>(1, std::llround((static_cast<double>(base.den) / base.num) / fps));
        ts = haveTimestamp ? lastTimestamp + perFrame : madeUpStart;
    }
    lastTimestamp = ts;
    haveTimestamp = true;
    pFrame->pts = ts;
    return true;
}

AVFrame* VideoReader::deliverPicture() {
    AVFrame* decoded = pFrame.get();
    // Some streams declare no size; the pictures tell it.
    if (videoWidth <= 0 || videoHeight <= 0) {
        videoWidth = decoded->width;
        videoHeight = decoded->height;
    }
    const bool planar420 =
        decoded->format == AV_PIX_FMT_YUV420P || decoded->format == AV_PIX_FMT_YUVJ420P;
    if (planar420 && decoded->width == videoWidth && decoded->height == videoHeight)
        return decoded;

    if (!convertedPicture)
        convertedPicture.reset(alloc_picture(AV_PIX_FMT_YUV420P, videoWidth, videoHeight));
    scaler.reset(sws_getCachedContext(scaler.release(), decoded->width, decoded->height,
                                      static_cast<AVPixelFormat>(decoded->format), videoWidth,
                                      videoHeight, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                      nullptr, nullptr));
    AVFrame* picture = convertedPicture.get();
    if (scaler)
        sws_scale(scaler.get(), decoded->data, decoded->linesize, 0, decoded->height, picture->data,
                  picture->linesize);
    picture->pts = decoded->pts;
    picture->pkt_dts = decoded->pkt_dts;
    picture->key_frame = decoded->key_frame;
    picture->pict_type = decoded->pict_type;
    return picture;
}

bool VideoReader::getNextFrame(AVFrame** picture, int16_t** samples, int* value, int* count) {
    if (status == ERROR) {
        engineMessage(MessageStream::Error, "%s", kFrameError);
        return false;
    }
    if (!decodePicture())
        return false;

    int lastResult = 0;
    int gathered = 0;
    if (audioStream >= 0) {
        if (samples != nullptr && audioSamples)
            gatherAudio(&lastResult, &gathered);
        else
            audioBuffer->clear();
    }

    *picture = deliverPicture();
    const bool withAudio = audioStream >= 0 && audioChannels > 0;
    if (samples != nullptr)
        *samples = audioStream >= 0 ? audioSamples.get() : nullptr;
    if (value != nullptr)
        // lastResult may be an error code: saturate rather than overflow.
        *value = withAudio
                     ? static_cast<int>(std::clamp<int64_t>(int64_t{audioChannels} * lastResult,
                                                            std::numeric_limits<int>::min(),
                                                            std::numeric_limits<int>::max()))
                     : 0;
    if (count != nullptr)
        *count = withAudio ? gathered / audioChannels : 0;
    frameCount += 1;
    return true;
}

void VideoReader::gatherAudio(int* lastResult, int* gathered) {
    AVCodecContext* decoder = pCodecCtxAudio.get();
    const double sampleRate = decoder->sample_rate;
    const AVRational audioBase = pFormatCtx->streams[audioStream]->time_base;
    audioStartTime = std::numeric_limits<double>::quiet_NaN();
    bool full = false;
    for (;;) {
        AVPacket packet{};
        if (!readPacket(audioStream, &packet))
            return;
        if (packet.size == 0) {
            PacketBuffer::releasePacket(&packet);
            continue;
        }
        if (*gathered >= audioSamplesSize) {
            engineMessage(MessageStream::Output, "%s", kFullAudioWarning);
            PacketBuffer::releasePacket(&packet);
            return;
        }
        const int sent = avcodec_send_packet(decoder, &packet);
        *lastResult = sent < 0 ? sent : packet.size;
        PacketBuffer::releasePacket(&packet);
        while (avcodec_receive_frame(decoder, audioFrame.get()) == 0) {
            const int64_t pts = audioFrame->best_effort_timestamp;
            // Without a timestamp a frame follows on from the last one.
            if (pts != AV_NOPTS_VALUE && audioBase.num > 0 && audioBase.den > 0)
                audioEndTime = static_cast<double>(pts) * av_q2d(audioBase);
            const int before = *gathered;
            // Samples actually decoded: a decoder's nominal frame size can be 0.
            audioSampleCount += audioFrame->nb_samples;
            if (!full && !storeAudio(audioFrame.get(), gathered))
                full = true;
            if (std::isnan(audioStartTime) && *gathered > before)
                audioStartTime = audioEndTime;
            if (!std::isnan(audioEndTime) && audioFrame->sample_rate > 0)
                audioEndTime +=
                    static_cast<double>(audioFrame->nb_samples) / audioFrame->sample_rate;
        }
        if (full) {
            engineMessage(MessageStream::Output, "%s", kFullAudioWarning);
            return;
        }
        if (static_cast<double>(frameCount + 1) * sampleRate / fps <= audioSampleCount)
            return;
    }
}

bool VideoReader::storeAudio(const AVFrame* frame, int* gathered) {
    if (audioChannels <= 0)
        audioChannels = frame->ch_layout.nb_channels;
    if (audioChannels <= 0)
        return true;
    const int room = (audioSamplesSize - *gathered) / audioChannels;
    if (frame->nb_samples > room)
        return false;

    const bool sameInput = resampler && resamplerInputFormat == frame->format &&
                           resamplerInputRate == frame->sample_rate &&
                           av_channel_layout_compare(&resamplerInputLayout, &frame->ch_layout) == 0;
    if (!sameInput) {
        AVChannelLayout outputLayout{};
        av_channel_layout_default(&outputLayout, audioChannels);
        SwrContext* context = nullptr;
        const int made = swr_alloc_set_opts2(
            &context, &outputLayout, AV_SAMPLE_FMT_S16, frame->sample_rate,
            const_cast<AVChannelLayout*>(&frame->ch_layout),
            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outputLayout);
        resampler.reset(context);
        resamplerInputFormat = -1;
        if (made < 0 || swr_init(context) < 0) {
            resampler.reset();
            return true; // this frame's samples are lost, the picture is not
        }
        resamplerInputFormat = frame->format;
        resamplerInputRate = frame->sample_rate;
        av_channel_layout_uninit(&resamplerInputLayout);
        av_channel_layout_copy(&resamplerInputLayout, &frame->ch_layout);
    }

    uint8_t* output = reinterpret_cast<uint8_t*>(audioSamples.get() + *gathered);
    const int converted =
        swr_convert(resampler.get(), &output, room,
                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted > 0)
        *gathered += converted * audioChannels;
    return true;
}

void VideoReader::dropQueuedAudio() {
    if (audioBuffer)
        audioBuffer->clear();
}

void VideoReader::flushBuffers() {
    if (status == ERROR)
        return;
    videoBuffer->clear();
    audioBuffer->clear();
    avcodec_flush_buffers(pCodecCtx.get());
    if (pCodecCtxAudio)
        avcodec_flush_buffers(pCodecCtxAudio.get());
    audioEndTime = std::numeric_limits<double>::quiet_NaN();
    videoDraining = false;
    endOfInput = false;
    // Made-up timestamps went on from the old position; after a jump they
    // start again where the jump aimed.
    haveTimestamp = false;
    madeUpStart = 0;
}

bool VideoReader::seekTimestamp(int64_t ts) {
    if (status == ERROR)
        return false;
    const int result = av_seek_frame(pFormatCtx.get(), videoStream, ts, AVSEEK_FLAG_BACKWARD);
    flushBuffers();
    madeUpStart = ts;
    return result >= 0;
}

bool VideoReader::decodeNextPicture(int64_t* ts) {
    if (status == ERROR || !decodePicture())
        return false;
    *ts = pFrame->pts;
    return pFrame->key_frame != 0;
}

bool VideoReader::seekFrameWKey(double seconds) {
    if (status == ERROR)
        return false;
    const AVRational base = pFormatCtx->streams[videoStream]->time_base;
    const double perSecond = static_cast<double>(base.den) / base.num;
    const double perFrame = perSecond / fps;
    const int64_t target = truncateToInt64(seconds * perSecond);
    int64_t seekTs = target;
    int attempts = 0;
    int64_t ts = 0;

    for (;;) {
        attempts += 1;
        av_seek_frame(pFormatCtx.get(), videoStream, seekTs, AVSEEK_FLAG_BACKWARD);
        flushBuffers();
        madeUpStart = seekTs;
        ts = 0;
        if (decodeNextPicture(&ts))
            break;
        seekTs = truncateToInt64(static_cast<double>(seekTs) - perFrame);
        if (attempts > kMaxSeekAttempts) {
            engineMessage(MessageStream::Output, "%s", kSeekFail1);
            return false;
        }
    }

    if (ts >= target) {
        // Decode the key frame again with the next getNextFrame.
        seekTimestamp(seekTs);
    } else {
        // Groups of pictures may be long (ten seconds and more): the forward
        // decode may go on for as many pictures as a minute holds, so that a
        // seek late in a group still lands where it was asked.
        const int budget = std::max(kMaxSeekAttempts, static_cast<int>(fps * kLongestGroupSeconds));
        do {
            if (attempts > budget) {
                engineMessage(MessageStream::Output, "%s", kSeekFail2);
                return false;
            }
            attempts += 1;
            decodeNextPicture(&ts);
        } while (ts < target);
    }

    if (audioStream >= 0) {
        dropQueuedAudio();
        avcodec_flush_buffers(pCodecCtxAudio.get());
        audioEndTime = std::numeric_limits<double>::quiet_NaN();
    }
    return true;
}

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
#include <libswscale/swscale.h>
}

namespace {
constexpr const char* kOpenError = "VideoReader::VideoReader: av_open_input_file error\n";
constexpr const char* kStreamInfoError = "VideoReader::VideoReader: av_find_strean_info error\n";
constexpr const char* kNoVideoError = "VideoReader::VideoReader: Could not find a video stream\n";
constexpr const char* kNoCodecError = "VideoReader::VideoReader: pCodec == NULL\n";
constexpr const char* kCodecOpenError = "VideoReader::VideoReader: Unable to open codec\n";
constexpr const char* kTooLargeError =
    "VideoReader::VideoReader: picture size %dx%d is too large\n";
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

} // namespace

void VideoReader::PictureFreer::operator()(AVFrame* picture) const {
    free_picture(picture);
}

VideoReader::VideoReader(const char* path, const ReaderOptions& options)
    : options(options), scaler(SWS_BILINEAR) {
    if (open(path))
        state = OK;
}

VideoReader::~VideoReader() = default;

bool VideoReader::fail(Failure why, const char* message) {
    failed = why;
    if (!options.quiet)
        engineMessage(MessageStream::Error, "%s", message);
    return false;
}

bool VideoReader::open(const char* path) {
    // A longer path cannot be kept whole; opening a truncated one could open
    // another file.
    if (path == nullptr || std::strlen(path) >= FILE_NAME_SIZE)
        return fail(Failure::PathTooLong, kOpenError);
    std::snprintf(name, sizeof(name), "%s", path);
    switch (demuxer.open(name)) {
    case Demuxer::Opened::CannotOpen:
        return fail(Failure::NotMedia, kOpenError);
    case Demuxer::Opened::NoStreamInfo:
        return fail(Failure::NoStreamInfo, kStreamInfoError);
    case Demuxer::Opened::Yes:
        break;
    }

    videoStream = demuxer.lowestStream(AVMEDIA_TYPE_VIDEO);
    if (videoStream < 0)
        return fail(Failure::NoVideo, kNoVideoError);
    audioStream = demuxer.lowestStream(AVMEDIA_TYPE_AUDIO);
    if (audioStream >= 0 && !options.audio) {
        demuxer.discard(audioStream);
        audioStream = -1;
    }
    if (!openVideo())
        return false;
    if (audioStream >= 0 && !openAudio()) {
        refusedAudio = true;
        return false;
    }
    demuxer.choose(videoStream, audioStream);
    return true;
}

bool VideoReader::openVideo() {
    const AVStream* stream = demuxer.stream(videoStream);
    switch (video.open(stream, options.decoderThreads, MAX_PICTURE_AREA, options.ownBuffers)) {
    case Decoder::Opened::NoDecoder:
        return fail(Failure::NoDecoder, kNoCodecError);
    case Decoder::Opened::TooLarge: {
        char message[128];
        std::snprintf(message, sizeof message, kTooLargeError, stream->codecpar->width,
                      stream->codecpar->height);
        return fail(Failure::TooLarge, message);
    }
    case Decoder::Opened::CannotOpen:
        return fail(Failure::DecoderOpen, kCodecOpenError);
    case Decoder::Opened::Yes:
        break;
    }
    videoWidth = video.codec()->width;
    videoHeight = video.codec()->height;
    return true;
}

bool VideoReader::openAudio() {
    const Decoder::Opened opened = audio.open(demuxer.stream(audioStream));
    if (opened == Decoder::Opened::NoDecoder)
        return fail(Failure::Audio, kNoAudioCodecError);
    samples.reset(new (std::nothrow) int16_t[AUDIO_SAMPLES_SIZE]);
    if (samples) {
        samplesSize = AUDIO_SAMPLES_SIZE;
    } else {
        // Without the buffer the reader goes on with video only.
        engineMessage(MessageStream::Output, "%s", kSamplesAllocError);
        samplesSize = 0;
    }
    audioFrame.reset(av_frame_alloc());
    audioPacket.reset(av_packet_alloc());
    if (opened != Decoder::Opened::Yes || !audioFrame || !audioPacket)
        return fail(Failure::Audio, kAudioCodecOpenError);
    audioChannels = audio.channels();
    return true;
}

void VideoReader::getVideoSize(int* width, int* height) {
    if (state == ERROR)
        engineMessage(MessageStream::Error, "%s", kSizeWarning);
    *width = videoWidth;
    *height = videoHeight;
}

int64_t VideoReader::getVideoLength() {
    if (demuxer.format() == nullptr || videoStream < 0)
        return 0;
    const AVStream* stream = demuxer.stream(videoStream);
    if (stream->duration != AV_NOPTS_VALUE)
        return stream->duration;
    const int64_t whole = demuxer.format()->duration;
    if (whole != AV_NOPTS_VALUE && stream->time_base.num > 0 && stream->time_base.den > 0)
        return av_rescale_q(whole, AV_TIME_BASE_Q, stream->time_base);
    return 0;
}

double VideoReader::timestampToSeconds(int64_t ts) {
    if (demuxer.format() == nullptr || videoStream < 0)
        return 0.0;
    const AVRational base = demuxer.stream(videoStream)->time_base;
    return static_cast<double>(ts) / (static_cast<double>(base.den) / base.num);
}

int32_t VideoReader::timestampToFrame(int64_t ts) {
    if (demuxer.format() == nullptr || videoStream < 0)
        return 0;
    const AVRational base = demuxer.stream(videoStream)->time_base;
    const double perFrame = (static_cast<double>(base.den) / base.num) / getFrameRate();
    // The low 32 bits, as the callers store the frame number unsigned.
    const auto frame = static_cast<uint64_t>(truncateToInt64(static_cast<double>(ts) / perFrame));
    return static_cast<int32_t>(static_cast<uint32_t>(frame));
}

std::optional<int64_t> VideoReader::keyFrameAtOrBefore(int64_t ts) const {
    return demuxer.keyFrameAtOrBefore(videoStream, ts);
}

AVFrame* VideoReader::deliverPicture() {
    AVFrame* decoded = video.picture();
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
    AVFrame* picture = convertedPicture.get();
    scaler.toYuv420(decoded, picture, videoWidth, videoHeight);
    picture->pts = decoded->pts;
    picture->pkt_dts = decoded->pkt_dts;
    picture->pkt_pos = decoded->pkt_pos;
    picture->decode_error_flags = decoded->decode_error_flags;
    picture->flags = decoded->flags;
    picture->key_frame = decoded->key_frame;
    picture->pict_type = decoded->pict_type;
    return picture;
}

bool VideoReader::getNextFrame(AVFrame** picture, int16_t** samplesOut, int* value, int* count) {
    if (state == ERROR) {
        engineMessage(MessageStream::Error, "%s", kFrameError);
        return false;
    }
    if (!decodePicture())
        return false;

    int lastResult = 0;
    int gathered = 0;
    if (audioStream >= 0) {
        if (samplesOut != nullptr && samples)
            gatherAudio(&lastResult, &gathered);
        else
            demuxer.dropQueued(audioStream);
    }

    *picture = deliverPicture();
    const bool withAudio = audioStream >= 0 && audioChannels > 0;
    if (samplesOut != nullptr)
        *samplesOut = audioStream >= 0 ? samples.get() : nullptr;
    if (value != nullptr)
        // lastResult may be an error code: saturate rather than overflow.
        *value = withAudio
                     ? static_cast<int>(std::clamp<int64_t>(int64_t{audioChannels} * lastResult,
                                                            std::numeric_limits<int>::min(),
                                                            std::numeric_limits<int>::max()))
                     : 0;
    if (count != nullptr)
        *count = withAudio ? gathered / audioChannels : 0;
    frames += 1;
    return true;
}

void VideoReader::gatherAudio(int* lastResult, int* gathered) {
    const double sampleRate = audio.sampleRate();
    const double fps = getFrameRate();
    const AVRational audioBase = demuxer.stream(audioStream)->time_base;
    AVPacket* packet = audioPacket.get();
    AVFrame* frame = audioFrame.get();
    audioStart = std::numeric_limits<double>::quiet_NaN();
    bool full = false;
    for (;;) {
        if (!demuxer.read(audioStream, packet))
            return;
        if (packet->size == 0) {
            av_packet_unref(packet);
            continue;
        }
        if (*gathered >= samplesSize) {
            engineMessage(MessageStream::Output, "%s", kFullAudioWarning);
            av_packet_unref(packet);
            return;
        }
        const int sent = audio.send(packet);
        *lastResult = sent < 0 ? sent : packet->size;
        av_packet_unref(packet);
        while (audio.receive(frame) == 0) {
            const int64_t pts = frame->best_effort_timestamp;
            // Without a timestamp a frame follows on from the last one.
            if (pts != AV_NOPTS_VALUE && audioBase.num > 0 && audioBase.den > 0)
                audioEnd = static_cast<double>(pts) * av_q2d(audioBase);
            const int before = *gathered;
            // Samples actually decoded: a decoder's nominal frame size can be 0.
            samplesDecoded += frame->nb_samples;
            if (!full && !storeAudio(frame, gathered))
                full = true;
            if (std::isnan(audioStart) && *gathered > before)
                audioStart = audioEnd;
            if (!std::isnan(audioEnd) && frame->sample_rate > 0)
                audioEnd += static_cast<double>(frame->nb_samples) / frame->sample_rate;
        }
        if (full) {
            engineMessage(MessageStream::Output, "%s", kFullAudioWarning);
            return;
        }
        if (static_cast<double>(frames + 1) * sampleRate / fps <= samplesDecoded)
            return;
    }
}

bool VideoReader::storeAudio(const AVFrame* frame, int* gathered) {
    if (audioChannels <= 0)
        audioChannels = frame->ch_layout.nb_channels;
    if (audioChannels <= 0)
        return true;
    const int room = (samplesSize - *gathered) / audioChannels;
    if (frame->nb_samples > room)
        return false;
    if (resampler.output().layout.nb_channels != audioChannels) {
        // Interleaved 16-bit samples at the stream's own rate.
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, audioChannels);
        resampler.setOutput(layout, AV_SAMPLE_FMT_S16, 0);
        av_channel_layout_uninit(&layout);
    }
    uint8_t* output = reinterpret_cast<uint8_t*>(samples.get() + *gathered);
    // A frame that cannot be converted loses its samples, not the picture.
    const int converted = resampler.convert(frame, &output, room);
    if (converted > 0)
        *gathered += converted * audioChannels;
    return true;
}

void VideoReader::flushBuffers() {
    if (state == ERROR)
        return;
    pictureSinceSeek = false;
    demuxer.flush();
    video.flush();
    if (audio.isOpen())
        audio.flush();
    forgetAudioTime();
}

bool VideoReader::seekTimestamp(int64_t ts) {
    if (state == ERROR)
        return false;
    const bool sought = demuxer.seek(videoStream, ts);
    flushBuffers();
    video.startAt(ts);
    return sought;
}

bool VideoReader::decodeNextPicture(int64_t* ts) {
    if (state == ERROR || !decodePicture())
        return false;
    *ts = video.picture()->pts;
    return video.picture()->key_frame != 0;
}

bool VideoReader::seekFrameWKey(double seconds) {
    return seekPicture(seconds, true);
}

bool VideoReader::seekPicture(double seconds, bool mayFindEnd) {
    if (state == ERROR)
        return false;
    const AVRational base = demuxer.stream(videoStream)->time_base;
    const double perSecond = static_cast<double>(base.den) / base.num;
    const double perFrame = perSecond / getFrameRate();
    int64_t target = truncateToInt64(seconds * perSecond);
    // Past the readable end: the next picture is the last one readable.
    if (shortEnd >= 0.0)
        target = std::min(target, truncateToInt64(static_cast<double>(lastPictureTs) - perFrame));
    int64_t seekTs = target;
    int attempts = 0;
    int64_t ts = 0;

    for (;;) {
        attempts += 1;
        if (stopAsked())
            return false;
        demuxer.seek(videoStream, seekTs);
        flushBuffers();
        video.startAt(seekTs);
        ts = 0;
        if (decodeNextPicture(&ts))
            break;
        seekTs = truncateToInt64(static_cast<double>(seekTs) - perFrame);
        if (attempts > kMaxSeekAttempts) {
            // Nothing decodes here: the file may end short of its length.
            if (mayFindEnd && shortEnd < 0.0) {
                findReadableEnd(target);
                if (shortEnd >= 0.0)
                    return seekPicture(seconds, false);
            }
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
        const int budget =
            std::max(kMaxSeekAttempts, static_cast<int>(getFrameRate() * kLongestGroupSeconds));
        do {
            if (stopAsked())
                return false;
            if (attempts > budget) {
                engineMessage(MessageStream::Output, "%s", kSeekFail2);
                return false;
            }
            attempts += 1;
            if (decodePicture()) {
                ts = video.picture()->pts;
            } else if (demuxer.atEnd()) {
                // The data ends before the target.
                if (mayFindEnd && shortEnd >= 0.0)
                    return seekPicture(seconds, false);
                engineMessage(MessageStream::Output, "%s", kSeekFail2);
                return false;
            }
        } while (ts < target);
    }

    if (audioStream >= 0) {
        demuxer.dropQueued(audioStream);
        audio.flush();
        forgetAudioTime();
    }
    return true;
}

#pragma once

// Opens one video file, chooses its first video stream and first audio
// stream, and hands out decoded pictures (planar YUV 4:2:0 at the stream's
// size) with the audio that plays up to each of them. Used by one thread.

#include "AVPointers.h"
#include "PacketBuffer.h"

#include <cstdint>
#include <limits>
#include <memory>

// The stream a reader takes of the given type: the lowest-numbered one, or
// -1. Cover art is stored as a video stream of one picture and is not the video.
int lowestStream(const AVFormatContext* context, AVMediaType type);

// How a reader decodes. The player takes the defaults.
struct ReaderOptions {
    // Threads of the video decoder; 0 lets FFmpeg choose.
    int decoderThreads = 0;
    // False: the audio stream is left unread, as if the file had none.
    bool audio = true;
};

class VideoReader {
public:
    static constexpr int32_t OK = 0;
    static constexpr int32_t ERROR = 1;
    // Capacity of audioSamples, in interleaved 16-bit samples.
    static constexpr int32_t AUDIO_SAMPLES_SIZE = 192000;
    static constexpr int FILE_NAME_SIZE = 1000;
    // Pictures beyond 8K UHD are refused: each decoded picture of a fragment
    // is kept whole, so a small file declaring a huge size could exhaust memory.
    static constexpr int64_t MAX_PICTURE_AREA = int64_t{7680} * 4320;

    explicit VideoReader(const char* path, const ReaderOptions& options = {});
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    void getVideoSize(int* width, int* height);
    // Duration of the video stream in its time-base units (the container's
    // duration when the stream carries none); 0 when unknown.
    int64_t getVideoLength();
    double timestampToSeconds(int64_t ts);
    int32_t timestampToFrame(int64_t ts);

    // Decodes the next picture. *picture is planar YUV 4:2:0 at the stream's
    // size, its timestamp in picture->pts (time-base units); it stays valid
    // until the next decode on this reader. The audio outputs are optional:
    // *samples points to the interleaved 16-bit audio decoded by this call,
    // *count is its number of samples per channel. False at the end.
    bool getNextFrame(AVFrame** picture, int16_t** samples = nullptr, int* value = nullptr,
                      int* count = nullptr);
    void flushBuffers();
    bool seekTimestamp(int64_t ts);
    // Decodes one picture without audio into *ts; true when it is a key frame.
    bool decodeNextPicture(int64_t* ts);
    // Positions the reader so that the next getNextFrame returns the picture
    // after the first one at or past the given time (or the key frame itself
    // when it already lies at or past it).
    bool seekFrameWKey(double seconds);

    // Frames per second used for every frame-based conversion.
    double getFrameRate() const { return fps; }
    // The rate and channel count of the samples getNextFrame hands out (0 without sound).
    int audioSampleRate() const { return pCodecCtxAudio ? pCodecCtxAudio->sample_rate : 0; }
    int audioChannelCount() const { return audioChannels; }
    // Time in seconds (on the video's clock) of the first sample the last
    // getNextFrame handed out; not a number when it gave none or the
    // stream does not tell.
    double audioStartTime = std::numeric_limits<double>::quiet_NaN();
    // A file whose audio stream has no decoder, or one that would not open:
    // the reader refused it, and reading it without its sound may still work.
    bool audioRefused = false;

    // Releases a picture made by alloc_picture.
    struct PictureFreer {
        void operator()(AVFrame* picture) const;
    };

    int32_t status = ERROR;
    int32_t audioSampleCount = 0;
    std::unique_ptr<PacketBuffer> audioBuffer;
    std::unique_ptr<PacketBuffer> videoBuffer;
    char fileName[FILE_NAME_SIZE] = {};
    ffmpeg::InputPtr pFormatCtx;
    ffmpeg::CodecContextPtr pCodecCtx;
    ffmpeg::CodecContextPtr pCodecCtxAudio;
    const AVCodec* pCodec = nullptr;
    const AVCodec* pCodecAudio = nullptr;
    std::unique_ptr<int16_t[]> audioSamples;
    int32_t audioSamplesSize = 0;
    ffmpeg::FramePtr pFrame;
    int32_t videoStream = -1;
    int32_t audioStream = -1;
    int32_t frameCount = 0;

private:
    bool open(const char* path);
    bool openAudio();
    // Fills *out with the next packet of the given stream, parking packets of
    // the other stream; false once the demuxer has ended.
    bool readPacket(int stream, AVPacket* out);
    // Decodes until a picture is complete; false at the end of the stream.
    bool decodePicture();
    // The decoded picture in planar YUV 4:2:0 at the stream's size.
    AVFrame* deliverPicture();
    void gatherAudio(int* lastResult, int* gathered);
    // Converts one decoded audio frame into audioSamples at *gathered; false
    // when it does not fit in the space left.
    bool storeAudio(const AVFrame* frame, int* gathered);
    void dropQueuedAudio();

    ReaderOptions options;
    double fps = 25.0;
    int videoWidth = 0;
    int videoHeight = 0;
    int audioChannels = 0;
    bool endOfInput = false;
    bool videoDraining = false;
    bool haveTimestamp = false;
    int64_t lastTimestamp = 0;
    // The made-up timestamp of a first picture that carries none.
    int64_t madeUpStart = 0;
    // Where the audio decoded so far ends, in seconds, once a timestamp told it.
    double audioEndTime = std::numeric_limits<double>::quiet_NaN();
    ffmpeg::PacketPtr readBuffer;
    ffmpeg::FramePtr audioFrame;
    std::unique_ptr<AVFrame, PictureFreer> convertedPicture;
    ffmpeg::SwsPtr scaler;
    ffmpeg::SwrPtr resampler;
    AVChannelLayout resamplerInputLayout{};
    int resamplerInputFormat = -1;
    int resamplerInputRate = 0;
};

#pragma once

// Opens one video file, chooses its first video stream and first audio
// stream, and hands out decoded pictures (planar YUV 4:2:0 at the stream's
// size) with the audio that plays up to each of them. Used by one thread.

#include "AudioDecoder.h"
#include "Demuxer.h"
#include "Resampler.h"
#include "Scaler.h"
#include "VideoDecoder.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

// Whether pictures read up to readSeconds (from the stream's start) fall
// short of the length a file claims by more than a fragment of 25 pictures
// and more than a second: the rest of the file cannot be read. Nearer ends
// are a whole file's rounding, a last picture lasting longer, a sound that
// outlasts the pictures by a little.
bool endsShort(double readSeconds, double claimedSeconds, double framePeriod);

// How a reader decodes. The player takes the defaults.
struct ReaderOptions {
    // Threads of the video decoder; 0 lets FFmpeg choose.
    int decoderThreads = 0;
    // False: the audio stream is left unread, as if the file had none.
    bool audio = true;
    // Once it holds true, a seek gives up instead of decoding on to its
    // target: the thread that reads is being stopped, and its stopper waits.
    const std::atomic<bool>* stop = nullptr;
    // Pictures that are kept a while (a playback queue's) each in a buffer
    // of its own, so that the memory goes as they go (see VideoDecoder).
    bool ownBuffers = false;
    // Says nothing on the console when the file does not open (failure()
    // still tells why): for a second look at a file already refused aloud.
    bool quiet = false;
};

class VideoReader {
public:
    static constexpr int32_t OK = 0;
    static constexpr int32_t ERROR = 1;
    // Capacity of the sample buffer, in interleaved 16-bit samples.
    static constexpr int32_t AUDIO_SAMPLES_SIZE = 192000;
    static constexpr int FILE_NAME_SIZE = 1000;
    // Pictures beyond 8K UHD are refused: each decoded picture of a fragment
    // is kept whole, so a small file declaring a huge size could exhaust memory.
    static constexpr int64_t MAX_PICTURE_AREA = int64_t{7680} * 4320;

    // Why a file did not open as a video.
    enum class Failure {
        None,
        PathTooLong,  // FILE_NAME_SIZE or longer
        NotMedia,     // no container format recognised in it, or it cannot be read
        NoStreamInfo, // a container whose streams cannot be made out
        NoVideo,      // streams, but no pictures among them
        NoDecoder,    // pictures coded in a format without a decoder here
        TooLarge,     // pictures beyond MAX_PICTURE_AREA
        DecoderOpen,  // the decoder would not open
        Audio,        // the sound was refused (see audioRefused)
    };

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
    // size, its timestamp in picture->pts (time-base units), where its packet
    // lies in the file in picture->pkt_pos (-1: unknown); it stays valid
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

    // Where the readable data ends, in seconds on the video's clock (the end
    // of its last picture), once decoding has met that end well before the
    // length the file claims (see endsShort); negative while it has not, and
    // for a whole file. A seek past it lands on the last readable picture.
    // From any thread (a read-ahead thread may be the one decoding).
    double readableEnd() const { return shortEnd; }

    // OK, or ERROR when the file could not be opened as a video.
    int32_t status() const { return state; }
    Failure failure() const { return failed; }
    const char* fileName() const { return name; }
    // Pictures getNextFrame has returned since the reader was opened.
    int32_t frameCount() const { return frames; }
    // Audio samples per channel decoded since the reader was opened.
    int32_t audioSampleCount() const { return samplesDecoded; }

    // The streams taken (-1: none) and the video stream's record.
    int videoStreamIndex() const { return videoStream; }
    int audioStreamIndex() const { return audioStream; }
    const AVStream& videoStreamInfo() const { return *demuxer.stream(videoStream); }
    // The shape of one pixel, as the container or the stream tells it (0/1: unknown).
    AVRational sampleAspect() const { return demuxer.sampleAspect(videoStream); }
    // The key frame at or before ts in the container's index, when it has one.
    bool hasKeyFrameIndex() const { return demuxer.hasKeyFrameIndex(videoStream); }
    std::optional<int64_t> keyFrameAtOrBefore(int64_t ts) const;

    // Frames per second used for every frame-based conversion.
    double getFrameRate() const { return video.frameRate(); }
    // The rate and channel count of the samples getNextFrame hands out (0 without sound).
    int audioSampleRate() const { return audio.isOpen() ? audio.sampleRate() : 0; }
    int audioChannelCount() const { return audioChannels; }
    // Where getNextFrame puts the samples, and its capacity (0 without sound).
    const int16_t* audioSamples() const { return samples.get(); }
    int32_t audioSamplesSize() const { return samplesSize; }
    // No audio packet waits to be decoded.
    bool audioQueueEmpty() const { return demuxer.queueEmpty(audioStream); }
    // Time in seconds (on the video's clock) of the first sample the last
    // getNextFrame handed out; not a number when it gave none or the
    // stream does not tell.
    double audioStartTime() const { return audioStart; }
    // A file whose audio stream has no decoder, or one that would not open:
    // the reader refused it, and reading it without its sound may still work.
    bool audioRefused() const { return refusedAudio; }

private:
    struct PictureFreer {
        void operator()(AVFrame* picture) const;
    };

    bool open(const char* path);
    // Decodes the next picture; at the end of the data, learns whether the
    // file ends short of its claimed length.
    bool decodePicture();
    void noteEnd();
    // After a seek found nothing to decode: reads from the last key frame
    // that decodes before `ts` to the end, so that the readable end is known.
    void findReadableEnd(int64_t ts);
    // seekFrameWKey; once more, toward the readable end, when mayFindEnd.
    bool seekPicture(double seconds, bool mayFindEnd);
    // Records why the file does not open and says so (unless quiet); false.
    bool fail(Failure why, const char* message);
    bool stopAsked() const { return options.stop != nullptr && options.stop->load(); }
    bool openVideo();
    bool openAudio();
    // The decoded picture in planar YUV 4:2:0 at the stream's size.
    AVFrame* deliverPicture();
    void gatherAudio(int* lastResult, int* gathered);
    // Converts one decoded audio frame into the sample buffer at *gathered;
    // false when it does not fit in the space left.
    bool storeAudio(const AVFrame* frame, int* gathered);
    void forgetAudioTime() { audioEnd = std::numeric_limits<double>::quiet_NaN(); }

    ReaderOptions options;
    int32_t state = ERROR;
    Failure failed = Failure::None;
    char name[FILE_NAME_SIZE] = {};
    int32_t frames = 0;
    int32_t samplesDecoded = 0;
    int videoStream = -1;
    int audioStream = -1;
    int videoWidth = 0;
    int videoHeight = 0;
    int audioChannels = 0;
    bool refusedAudio = false;
    double audioStart = std::numeric_limits<double>::quiet_NaN();
    // The latest picture decoded (its timestamp), whether one was since the
    // last seek, and the readable end once known.
    int64_t lastPictureTs = std::numeric_limits<int64_t>::min();
    bool pictureSinceSeek = false;
    std::atomic<double> shortEnd{-1.0};
    // Where the audio decoded so far ends, in seconds, once a timestamp told it.
    double audioEnd = std::numeric_limits<double>::quiet_NaN();

    Demuxer demuxer;
    VideoDecoder video;
    AudioDecoder audio;
    Scaler scaler;
    Resampler resampler;
    std::unique_ptr<int16_t[]> samples;
    int32_t samplesSize = 0;
    ffmpeg::PacketPtr audioPacket;
    ffmpeg::FramePtr audioFrame;
    std::unique_ptr<AVFrame, PictureFreer> convertedPicture;
};

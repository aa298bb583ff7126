#pragma once

// Writes the summary as an MP4 file: the kept pictures, re-encoded with
// libx264 at the source's size and frame rate, and, when the source has
// audio, the source's audio of the same spans encoded as AAC. Timestamps run
// on without gaps from one span to the next.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVFrame;

struct VideoWriterFormat {
    int width = 0;
    int height = 0;
    int frameRateNum = 25;
    int frameRateDen = 1;
    int sarNum = 1;
    int sarDen = 1;
    int threads = 0; // the encoder's; 0 lets FFmpeg choose
    // The look-ahead in the encoding thread rather than in one of its own
    // with frames buffered for it: the same stream, 30 MB less at 1080p and
    // a tenth slower. For a save beside a playing video.
    bool leanLookahead = false;
    // The audio source's stream to take (MediaTrack::stream); -1 for its first.
    int audioStream = -1;
    // A mov_text subtitle track too, in this language ("" for none given),
    // its lines added with addSubtitle.
    bool subtitles = false;
    std::string subtitleLanguage{};
};

class SummaryVideoWriter {
public:
    SummaryVideoWriter();
    ~SummaryVideoWriter();
    SummaryVideoWriter(const SummaryVideoWriter&) = delete;
    SummaryVideoWriter& operator=(const SummaryVideoWriter&) = delete;

    // audioSource: the file whose first audio stream gives the sound of each
    // span, or empty for a file without sound.
    bool open(const std::string& path, const VideoWriterFormat& format,
              const std::string& audioSource, std::string* error);
    // One kept span of the source, [sourceStart, sourceEnd) in seconds: its
    // planar YUV 4:2:0 pictures of the source size, in order, each with its
    // time in the source. The span fills round((end - start) * rate) frames
    // of the summary: a picture is repeated over a gap in the source (dropped
    // frames) and left out where the source runs faster than its rate, so
    // that pictures and sound stay together.
    struct TimedPicture {
        const AVFrame* picture;
        double time;
    };
    bool addSpan(double sourceStart, double sourceEnd, const std::vector<TimedPicture>& pictures,
                 std::string* error);
    // The same span a picture at a time, for a caller that does not hold the
    // span's pictures: beginSpan, each picture in order (the writer keeps a
    // reference to the last one until the next comes), then endSpan.
    bool beginSpan(double sourceStart, double sourceEnd, std::string* error);
    bool addPicture(const AVFrame* picture, double time, std::string* error);
    bool endSpan(std::string* error);
    // A line of the subtitle track, in the summary's milliseconds, its text
    // plain (line breaks as '\n'). Lines come in order of their start; where
    // they overlap, the track shows them together.
    bool addSubtitle(int64_t startMs, int64_t endMs, const std::string& text, std::string* error);
    // Drains the encoders and writes the index; the file is complete after it.
    bool finish(std::string* error);

    int64_t picturesWritten() const;
    bool hasAudio() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

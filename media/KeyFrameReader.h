#pragma once

// The key frames of a video's first video stream, one at least `spacing`
// seconds after the one before, decoded alone: non-key packets never reach
// the decoder, which skips them besides. Where the container keeps an index
// of its key frames (MP4 always, Matroska with cues) it goes from one to
// the next by seeking, so that a long file is not read whole; elsewhere it
// reads the packets in order and decodes the key ones only. It gives what it
// can and says nothing: a damaged packet, a cut file or a seek that fails
// ends or skips a picture, never the program. Used by one thread.

#include "AVPointers.h"
#include "Decoder.h"
#include "Demuxer.h"
#include "Scaler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class KeyFrameReader {
public:
    // threads: the decoder's (slices of a picture; 0 lets FFmpeg choose).
    explicit KeyFrameReader(const char* path, int threads = 1);
    ~KeyFrameReader();
    KeyFrameReader(const KeyFrameReader&) = delete;
    KeyFrameReader& operator=(const KeyFrameReader&) = delete;

    // The file opened, with a video stream whose decoder opened.
    bool ok() const { return opened; }
    // Frames per second as the analysis counts them (the stream's real
    // rate, else its average, else 25), and the stream's length in seconds
    // (0 when it does not tell) and the time of its start.
    double frameRate() const { return fps; }
    double duration() const { return length; }
    double startTime() const { return start; }

    // The next key picture at least `spacing` seconds after the last one
    // taken; false at the end (or once the data cannot be read further),
    // and as soon as carryOn, asked every so many packets, says no.
    bool next(double spacing, const std::function<bool()>& carryOn);
    // The picture taken, planar YUV 4:2:0 at the stream's size, its time in
    // seconds; valid until the next call.
    const AVFrame* picture() const { return shown; }
    int width() const { return pictureWidth; }
    int height() const { return pictureHeight; }
    double seconds() const { return time; }

private:
    bool nextIndexed(double spacing, const std::function<bool()>& carryOn);
    bool nextInOrder(double spacing, const std::function<bool()>& carryOn);
    // Decodes the key packet in `packet` alone; false when it gives no picture.
    bool decodeAlone();
    double toSeconds(int64_t ts) const;

    Demuxer demuxer;
    class KeyDecoder;
    std::unique_ptr<KeyDecoder> decoder;
    Scaler scaler;
    ffmpeg::PacketPtr packet;
    ffmpeg::FramePtr frame;
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> converted;
    const AVFrame* shown = nullptr;
    bool opened = false;
    int stream = -1;
    AVRational base{1, 1};
    double fps = 25.0;
    double length = 0.0;
    double start = 0.0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    double time = 0.0;
    bool taken = false;
    // The container's time (of the index, or of the packet) of the last
    // picture taken, from which the next is spaced.
    double spacedFrom = 0.0;
    // The key frames' timestamps from the index, ascending; the next to look at.
    std::vector<int64_t> keys;
    size_t nextKey = 0;
    // Seeks in a row that gave no picture.
    int misses = 0;
};

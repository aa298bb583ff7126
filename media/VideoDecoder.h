#pragma once

// The video stream's decoder: pictures one at a time from the container's
// packets, each stamped with the decoding timestamp of the packet that
// completed it. Pictures that carry none (the ones drained at the end, or
// a stream without timestamps) go on one frame after the last, or start
// where the last jump aimed.

#include "Decoder.h"

#include <cstdint>

class Demuxer;

class VideoDecoder : public Decoder {
public:
    // threads: 0 lets FFmpeg choose. A stream whose pictures are larger
    // than maxArea is refused (also when its size changes mid-stream).
    // ownBuffers: each picture in a buffer of its own, freed when its last
    // reference goes. The decoder's own pool keeps every buffer it ever
    // handed out, so a reader whose pictures wait by the dozen in a queue
    // would hold that many for good.
    Opened open(const AVStream* stream, int threads, int64_t maxArea, bool ownBuffers = false);
    // Frames per second: the stream's real rate, else its average, else 25.
    double frameRate() const { return fps; }

    // Decodes the next picture from the demuxer's packets of the stream;
    // false at the end. picture() holds it, its timestamp in pts.
    bool decode(Demuxer& demuxer, int streamIndex);
    AVFrame* picture() const { return frame.get(); }

    // Forgets the pictures it holds; made-up timestamps start at 0 again.
    void flush();
    // After a jump to ts: made-up timestamps start there.
    void startAt(int64_t ts) { madeUpStart = ts; }

private:
    ffmpeg::FramePtr frame;
    ffmpeg::PacketPtr packet;
    double fps = 25.0;
    // Timestamp units per frame, for the made-up timestamps.
    int64_t perFrame = 1;
    bool draining = false;
    bool haveTimestamp = false;
    int64_t lastTimestamp = 0;
    int64_t madeUpStart = 0;
};

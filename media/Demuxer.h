#pragma once

// One opened container: its streams, and their packets one stream at a
// time. The container interleaves its streams; a packet of the other chosen
// stream, read while looking for the one asked for, waits in that stream's
// queue until it is asked for. Used by one thread.

#include "AVPointers.h"
#include "BoundedQueue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The stream a reader takes of the given type: the lowest-numbered one, or
// -1. Cover art is stored as a video stream of one picture and is not the video.
int lowestStream(const AVFormatContext* context, AVMediaType type);

// The largest single allocation FFmpeg may make in this process. No sane
// file needs one near it (a 16000 x 16000 picture's plane is a quarter of
// it); damaged headers that ask for more (a WAV's text tag "of 2 GB") are
// refused as unreadable instead of filled with zeros for seconds.
constexpr size_t kLargestAllocation = size_t{1} << 30;

class Demuxer {
public:
    enum class Opened { Yes, CannotOpen, NoStreamInfo };

    Demuxer();
    ~Demuxer();
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;

    // Opens the file and reads its stream information.
    Opened open(const char* path);
    const AVFormatContext* format() const { return input.get(); }
    const AVStream* stream(int index) const { return input->streams[index]; }
    int lowestStream(AVMediaType type) const { return ::lowestStream(input.get(), type); }

    // The (at most two) streams read() hands out; packets of any other are
    // dropped as they come.
    void choose(int first, int second = -1);
    // The container drops that stream's packets unread; -1 is ignored.
    void discard(int index);
    void discardAllBut(int index);

    // The next packet of a chosen stream into *packet (which the caller
    // unrefs); false once the container has ended, until the next flush.
    bool read(int index, AVPacket* packet);
    // Moves the container to the key frame at or before ts of the stream
    // (its time base), or at or after it; queued packets stay until flush.
    bool seek(int index, int64_t ts, bool atOrAfter = false);
    // Drops every queued packet and forgets the end.
    void flush();
    // Drops the packets queued for one stream.
    void dropQueued(int index);
    bool queueEmpty(int index) const;
    // The container has ended (or failed to read) since the last flush.
    bool atEnd() const { return ended; }

    // The shape of the stream's pixels, as the container or the stream tells it (0/1: unknown).
    AVRational sampleAspect(int index) const;
    // The key frame at or before ts in the stream's index; none without one.
    bool hasKeyFrameIndex(int index) const;
    std::optional<int64_t> keyFrameAtOrBefore(int index, int64_t ts) const;
    // Every key frame's timestamp in the stream's index, ascending.
    std::vector<int64_t> keyFrameTimestamps(int index) const;
    // The stream's index as the container gives it, entry by entry.
    int indexSize(int index) const;
    const AVIndexEntry& indexEntry(int index, int entry) const;
    // Bytes in the file; negative when it does not tell.
    int64_t fileSize() const;

private:
    using PacketQueue = BoundedQueue<ffmpeg::PacketPtr>;
    PacketQueue* queueOf(int index);

    ffmpeg::InputPtr input;
    ffmpeg::PacketPtr readBuffer;
    int chosen[2] = {-1, -1};
    PacketQueue queues[2];
    bool ended = false;
};

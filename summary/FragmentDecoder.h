#pragma once

// Reads the video in fragments: runs of up to 25 consecutive frames, each in
// a FrameBuffer of its own, with their colour histograms already computed.

#include "FrameBuffer.h"
#include "VideoReader.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

class FragmentDecoder {
public:
    static constexpr int fragmentCapacity = 25;

    explicit FragmentDecoder(const char* path, const ReaderOptions& options = {});
    ~FragmentDecoder();
    FragmentDecoder(const FragmentDecoder&) = delete;
    FragmentDecoder& operator=(const FragmentDecoder&) = delete;

    // The next fragment, owned by the caller (deleting it deletes its frames),
    // or null at the end of the video. A last fragment of a single frame is
    // dropped.
    FrameBuffer* decodeFragment();

    // Decoding ahead: a thread of the decoder's own reads the next frames
    // while the caller works on the last fragment; the fragments are the
    // same. While it is on, the reader belongs to that thread: reposition it
    // only through seekFrameWKey below, and count pictures with
    // picturesDecoded. Turned off, frames already read ahead are still used.
    void setReadAhead(bool on);
    // Positions the reader (as VideoReader::seekFrameWKey); whatever was read
    // ahead is dropped, so the next fragment starts at the new position.
    bool seekFrameWKey(double seconds);
    // Pictures taken from the reader so far; safe to read from any thread.
    int64_t picturesDecoded() const { return pictures; }

    // False for callers that need only the summary: each frame's picture is
    // then released as soon as its descriptors are computed (the frame stays
    // in AVFRAME mode, without a picture).
    bool keepPictures = true;

    // The reader's picture just decoded as a frame of the given size, with
    // the reader's frame number and time; the picture is the frame's own.
    static std::unique_ptr<Frame> pictureFrame(VideoReader& reader, const AVFrame* picture,
                                               int width, int height);

    FrameBuffer* fragment = nullptr; // the last one made; the caller owns it
    std::unique_ptr<VideoReader> reader;

private:
    // The next picture from the reader as a frame of the given size (0: the
    // size the reader knows once the picture is decoded), or null at the end.
    Frame* readFrame(int width, int height);
    // Where decodeFragment takes its frames from: the reader itself, or the
    // frames the read-ahead thread queued.
    Frame* nextFrame(int width, int height);
    void readAheadLoop();
    void stopReadAhead();
    void dropQueuedFrames();

    std::atomic<int64_t> pictures{0};

    // Frames read ahead: at most one fragment's worth waits in the queue.
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Frame*> queued;
    bool stopping = false;      // the worker is to finish
    bool ended = false;         // the worker has met the end; nothing more will be queued
    std::exception_ptr failure; // what ended the worker, for the caller to meet
};

#pragma once

// Reads the video in fragments: runs of up to 25 consecutive frames, each
// frame described (colour histograms and block means) and its picture let go
// at once, and what the sound says while it is shown (FrameSound), from the
// file's first audio stream read beside the pictures.

#include "BoundedQueue.h"
#include "FragmentSource.h"
#include "FrameBuffer.h"
#include "FrameReading.h"
#include "VideoReader.h"
#include "Worker.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>

class FragmentDecoder final : public FragmentSource {
public:
    explicit FragmentDecoder(const char* path, const ReaderOptions& options = {});
    ~FragmentDecoder() override;
    FragmentDecoder(const FragmentDecoder&) = delete;
    FragmentDecoder& operator=(const FragmentDecoder&) = delete;

    // The next fragment, or null at the end of the video. A last fragment of
    // a single frame is dropped.
    std::unique_ptr<FrameBuffer> decodeFragment();
    std::unique_ptr<FrameBuffer> nextFragment() override { return decodeFragment(); }
    int64_t picturesRead() const override { return pictures; }
    double frameRate() const override { return reader->getFrameRate(); }

    // Shows every picture read from now on to tap (null: none); set it while
    // reading ahead is off. The tap must outlive its use.
    void setTap(FrameTap* tap) { frameTap = tap; }

    // Decoding ahead: a thread of the decoder's own reads and describes the
    // next frames while the caller works on the last fragment; the fragments
    // are the same. While it is on, the reader belongs to that thread:
    // reposition it only through seekFrameWKey below. Turned off, frames
    // already read ahead are still used.
    void setReadAhead(bool on);
    // Positions the reader (as VideoReader::seekFrameWKey); whatever was read
    // ahead is dropped, so the next fragment starts at the new position.
    bool seekFrameWKey(double seconds);
    // Pictures taken from the reader so far; safe to read from any thread.
    int64_t picturesDecoded() const { return pictures; }

    VideoReader& videoReader() { return *reader; }

    // What went wrong with the sound (it cannot be decoded, or it ends well
    // before the pictures), once; empty when nothing did. From any thread.
    std::string takeSoundNotice() { return hearing.takeNotice(); }

private:
    // The next picture from the reader, described; empty at the end.
    std::optional<Frame> readFrame();
    // From the frames read ahead, or from the reader itself.
    std::optional<Frame> nextFrame();
    void readAheadLoop();
    void stopReadAhead();

    std::unique_ptr<VideoReader> reader;
    std::atomic<int64_t> pictures{0};

    // Frames read ahead, at most a few (enough to cover the caller's work
    // between two fragments); an empty entry marks the end of the video.
    BoundedQueue<std::optional<Frame>> ahead;
    Worker worker;
    bool ended = false; // the end has been taken from the queue
    // What stopped the read-ahead thread, for the caller to meet; set before
    // the end is queued.
    std::exception_ptr failure;
    FrameTap* frameTap = nullptr;

    FrameHearing hearing;
    double lastFrameTime = 0.0;
};

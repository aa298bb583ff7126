#pragma once

// Reads the video in stretches decoded side by side, each range of the
// analysis with a reader of its own seeking to a stretch's key frame (see
// RangePlan), and hands out the frames joined in order: the frames a single
// pass (FragmentDecoder) gives, the same to the byte, in the same fragments.
// The sound stays one analysis in order, heard at the join as a single pass
// hears it. A tap is shown the frames at the join, with what its keepers
// kept of their pictures on the ranges' threads (see FrameTap::keeper).
// Should a stretch not decode as its index told (a damaged picture, made up
// from the pictures before it, which one pass has and a stretch may not; a
// packet without its picture; the next key picture left out), the rest of
// the video is read in one pass from where the joined frames end.
//
// Memory stays bounded: a range starts a stretch only while fewer than one
// more than the ranges wait to be joined, and keeps what it decodes as
// frames (the pictures let go once described, a thumbnail-sized copy kept
// where a fragment may begin).

#include "BoundedQueue.h"
#include "FragmentSource.h"
#include "FrameReading.h"
#include "RangePlan.h"
#include "VideoReader.h"
#include "Worker.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class RangedDecoder final : public FragmentSource {
public:
    // About ten seconds of video a stretch.
    static constexpr int64_t defaultStretchFrames = 250;

    // Null when the video is better read in one pass (see planStretches;
    // wherePaying as there), or with fewer than two ranges. options are each
    // range's reader's.
    static std::unique_ptr<RangedDecoder> open(const std::string& path,
                                               const ReaderOptions& options, int ranges,
                                               int64_t stretchFrames = defaultStretchFrames,
                                               bool wherePaying = false);
    ~RangedDecoder() override;
    RangedDecoder(const RangedDecoder&) = delete;
    RangedDecoder& operator=(const RangedDecoder&) = delete;

    std::unique_ptr<FrameBuffer> nextFragment() override;
    int64_t picturesRead() const override { return joined; }
    double frameRate() const override { return rate; }

    // Shows every frame to tap (null: none), before the first fragment;
    // false, and no tap, when the tap gives no keepers.
    bool setTap(FrameTap* tap);
    // See FragmentDecoder::takeSoundNotice.
    std::string takeSoundNotice() { return hearing.takeNotice(); }
    // The rest of the video was read in one pass (a stretch did not decode
    // as its index told).
    bool fellBack() const { return tookOver; }
    size_t stretchCount() const { return stretches.size(); }

private:
    // What a range decoded of one stretch, until the join takes it.
    struct Decoded {
        std::deque<Frame> frames;
        std::deque<std::unique_ptr<KeptPicture>> kept;
        int64_t count = 0;       // frames decoded so far
        int64_t firstFrame = -1; // its first frame's place in the video, once known
        bool done = false;
        bool failed = false;
    };

    RangedDecoder(std::string path, const ReaderOptions& options, std::vector<Stretch> stretches,
                  int ranges);
    void start();
    void stop();
    // Sets the flag (under the lock) that ends the ranges, and waits for them.
    void endRanges(bool* flag);
    void rangeLoop(size_t range);
    // False when the stretch's pictures are not where the index said.
    bool decodeStretch(size_t index, VideoReader& reader, PictureKeeper* keeper);
    // Gives every stretch whose predecessors are all counted its first frame.
    void placeStretches();
    void joinLoop();
    std::optional<Frame> joinFrame();
    // The next frame of the single pass that takes over.
    std::optional<Frame> tailFrame();
    void startTail();
    std::optional<Frame> endOfVideo();

    const std::string path;
    ReaderOptions options;
    const std::vector<Stretch> stretches;
    std::vector<std::unique_ptr<VideoReader>> readers; // one a range
    std::vector<std::unique_ptr<PictureKeeper>> keepers;
    std::vector<std::unique_ptr<Worker>> ranges;
    double rate = 25.0;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<Decoded> decoded; // one a stretch
    size_t nextStretch = 0;       // the next stretch for a range to take
    size_t joinedStretch = 0;     // the stretch the join takes frames from
    bool stopping = false;
    bool abandoned = false; // the single pass took over from the ranges

    // Joined frames for the caller, a few ahead; an empty entry ends the video.
    BoundedQueue<std::optional<Frame>> ahead;
    Worker joiner;
    bool started = false;
    bool ended = false;
    std::exception_ptr failure; // set before the end is queued
    FrameTap* frameTap = nullptr;
    FrameHearing hearing;
    std::atomic<int64_t> joined{0};
    double lastFrameTime = 0.0;
    std::unique_ptr<VideoReader> tail;
    std::atomic<bool> tookOver{false};
};

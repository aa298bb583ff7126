#pragma once

// Where the summary engine's fragments come from: decoded from the video
// (FragmentDecoder) or read back from what an earlier analysis kept. Either
// hands out the same fragments, so the summary cannot tell them apart.

#include "FrameBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct AVFrame;

class FragmentSource {
public:
    static constexpr int fragmentCapacity = 25;

    virtual ~FragmentSource() = default;
    // The next fragment, or null at the end of the video.
    virtual std::unique_ptr<FrameBuffer> nextFragment() = 0;
    // Pictures taken so far, for progress; safe to read from any thread.
    virtual int64_t picturesRead() const = 0;
    // Frames per second of the video, as its reader counts them.
    virtual double frameRate() const = 0;
};

// Groups frames into a fragment of up to fragmentCapacity, taking them from
// next until it gives none. A last fragment of a single frame is dropped:
// null then, and at the end.
std::unique_ptr<FrameBuffer> gatherFragment(const std::function<std::optional<Frame>()>& next);

// What a tap keeps of a picture for later (see FrameTap::keeper).
class KeptPicture {
public:
    virtual ~KeptPicture() = default;
};

// Keeps what a tap needs of pictures decoded on a thread of their own.
class PictureKeeper {
public:
    virtual ~PictureKeeper() = default;
    // What the tap would need of the picture (planar YUV 4:2:0), should it
    // begin a fragment; null for nothing.
    virtual std::unique_ptr<KeptPicture> keep(const AVFrame* picture, int width, int height) = 0;
};

// Sees every picture an analysis decodes, in order, while it is at hand:
// what keeps descriptors and thumbnails for later. Called on the thread that
// reads (the read-ahead thread while that is on), one call at a time.
class FrameTap {
public:
    virtual ~FrameTap() = default;
    // The picture (planar YUV 4:2:0, chroma lines half the luma lines) and
    // the frame made of it; the picture is valid during the call only.
    virtual void picture(const Frame& frame, const AVFrame* picture, int width, int height) = 0;
    // The next units of the video's sound, analysed as far as the frame
    // that follows (see SoundAnalysis), in order from unit 0.
    virtual void sound(const SoundUnit* /*units*/, size_t /*count*/) {}
    // The video has ended: every frame of it was seen.
    virtual void ended() = 0;
    // The reader jumped: the frames that follow no longer run on from the start.
    virtual void jumped() = 0;

    // An analysis that decodes ranges of the video side by side
    // (RangedDecoder) meets the pictures on threads of its own and in no
    // order, and shows the frames to the tap in order only later. Each of
    // its threads asks for a keeper of its own (null: the tap cannot be
    // shown frames so, and the analysis reads in one pass), which keeps what
    // may be needed of a picture there, in place of picture() with it.
    virtual std::unique_ptr<PictureKeeper> keeper() { return nullptr; }
    // In order, in place of picture(): the frame, with what the keeper kept
    // of its picture (null when it was not asked: the frame cannot begin a
    // fragment).
    virtual void keptPicture(const Frame& /*frame*/, std::unique_ptr<KeptPicture> /*kept*/) {}
};

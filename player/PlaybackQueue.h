#pragma once

// The playback buffer: pictures on their way from the decoding thread to the
// screen, oldest first, each with its place on the playback timeline. A seek
// or a restart flushes it, which starts a new serial: a picture taken before
// the flush is stale and not shown.

#include "BoundedQueue.h"
#include "Picture.h"

#include <memory>

using PlaybackQueue = BoundedQueue<PictureFrame>;

// Room for this many pictures; the decoding thread stops filling far below
// it, at its own bound in pictures and bytes.
inline constexpr size_t PLAYBACK_CAPACITY = 5000;

inline std::unique_ptr<PlaybackQueue> makePlaybackQueue() {
    return std::make_unique<PlaybackQueue>(PLAYBACK_CAPACITY, INT64_MAX,
                                           [](const PictureFrame& f) { return f.picture.bytes(); });
}

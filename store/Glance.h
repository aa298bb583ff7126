#pragma once

// A first look at a video from its key frames alone (see KeyFrameReader),
// made in seconds where the whole analysis takes minutes: a picture every
// so many seconds over the whole length, each with its descriptors (as the
// analysis computes them) and a thumbnail. It stands in for the analysis
// until that is whole: the timeline's thumbnails, and a provisional map
// from frames that each take the descriptors of the last key picture at or
// before them. Kept in the store beside the entries, under the same key.

#include "DescriptorStore.h"
#include "Descriptors.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct GlancePicture {
    double seconds = 0.0;
    Descriptors descriptors;
    std::string thumbnail; // JPEG, see ThumbnailMaker; empty when it could not be made
};

struct Glance {
    // At most this many pictures over any length, and none closer together
    // than kNearest seconds.
    static constexpr int kMostPictures = 1000;
    static constexpr double kNearest = 2.0;

    double frameRate = 0.0;
    double start = 0.0; // the stream's first time, seconds
    double end = 0.0;   // the end of the stream's length, or of the last picture
    std::vector<GlancePicture> pictures; // ascending in time

    // The picture shown at a time: the last at or before it, else the first;
    // null when there is none.
    const GlancePicture* at(double seconds) const;
};

// The seconds between two pictures taken of a video of this length.
double glanceSpacing(double durationSeconds);

// Takes the key pictures of the video at path; `carryOn` is asked before
// each (and while reading on to the next), and false drops the pass
// (nullopt). Also nullopt when the video cannot be read at all; a video
// that gives no key picture gives none.
std::optional<Glance> glanceAt(const std::string& path, const std::function<bool()>& carryOn);

// The glance as the store keeps it, and back (nullopt when it is damaged).
StoredGlance packGlance(const Glance& glance);
std::optional<Glance> unpackGlance(const StoredGlance& stored);

// The frames of a stand-in analysis: one every 1/frameRate seconds from the
// start to the end, each with the descriptors of the glance's picture at
// its time, marked as a key frame where a picture was taken; as chunks the
// store's entries are made of (without thumbnails or sound). Empty when the
// glance has no picture.
std::vector<StoredChunk> standInChunks(const Glance& glance);
// The frame rate of those frames: the glance's, within what a stand-in of
// a two-hour video can hold.
double standInRate(const Glance& glance);

// The glance the store holds under key; nullopt when it holds none (or a
// damaged one).
std::optional<Glance> storedGlance(DescriptorStore& store, const VideoKey& key);

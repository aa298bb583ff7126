#pragma once

// A fragment: up to 25 consecutive frames of the video, the unit of every
// summary decision. It owns its frames' descriptors and caches the measures
// taken on them; it belongs to one thread at a time and has no lock.

#include "Frame.h"
#include "ShotBoundaries.h"

#include <cstdint>
#include <memory>
#include <vector>

class SegmentDistanceMemo;

// Distances to other fragments are kept for fragments fewer than this many
// numbers apart; further ones are not compared (with a warning).
constexpr int COMPARISON_LIST_SIZE = 2000;

struct ComparisonEntry {
    int32_t valid = 0;
    double value = 0.0;
};

// Distances to earlier fragments by difference of number. The storage is made
// on the first write and can be given back once no comparison will be asked
// of the fragment again, so an hour of fragments costs megabytes, not hundreds.
class ComparisonList {
public:
    ComparisonEntry& operator[](int d) {
        if (!entries)
            entries = std::make_unique<ComparisonEntry[]>(COMPARISON_LIST_SIZE);
        return entries[d];
    }
    const ComparisonEntry& operator[](int d) const { return entries ? entries[d] : kNone[d]; }
    bool allocated() const { return entries != nullptr; }
    void release() { entries.reset(); }

private:
    static const ComparisonEntry kNone[COMPARISON_LIST_SIZE];
    std::unique_ptr<ComparisonEntry[]> entries;
};

class FrameBuffer {
public:
    explicit FrameBuffer(int maxFrames = 25) : maxFrames(maxFrames) {}

    // Appends a frame; false, with a warning, when the fragment is full.
    bool addFrame(Frame frame);
    int32_t count() const { return static_cast<int32_t>(frames.size()); }
    const Frame& first() const { return frames.front(); }
    const Frame& last() const { return frames.back(); }
    // Forgets the frames (a left-out fragment is never compared again);
    // length and number stay.
    void releaseFrames();
    // Forgets the frames but what comparing with the fragment reads: its
    // sampled pictures' points, its first frame's number and its count (a
    // kept fragment that later ones are still compared with).
    void keepOnlyComparison();
    // The frames a comparison counts and the first one's number: the
    // fragment's own, or what keepOnlyComparison kept of them.
    int32_t comparedFrames() const { return frames.empty() ? comparedCount : count(); }
    double firstFrameNumber() const {
        return frames.empty() ? rowFrom : frames.front().frameNumber;
    }

    // Segment measures, each computed once.
    static double getComparison(const FrameBuffer* a, const FrameBuffer* b);
    bool setComparison(FrameBuffer* other, double value);
    static double segmentDistance(const FrameBuffer* a, const FrameBuffer* b);
    // Whether the distance of a newer fragment to an older one is had
    // without measuring: the newer keeps it, or the memo has it (the newer
    // then keeps it, as the caller of segmentDistance would), or the two are
    // too far apart to be compared at all.
    static bool recallDistance(FrameBuffer* newer, FrameBuffer* older);
    // Keeps a distance measured on another thread where segmentDistance and
    // the caller would keep it: in the memo and in the newer's list.
    static void keepMeasured(FrameBuffer* newer, FrameBuffer* older, double distance);
    // The distance itself, measured afresh. Safe on several threads at once
    // once each fragment's comparison is prepared.
    static double measureDistance(const FrameBuffer* a, const FrameBuffer* b);
    // Works out now what comparing it takes (its sampled pictures' points),
    // for a thread that reads fragments ahead of the one that compares them.
    void prepareComparison() const { sampledRow(); }
    double getVariation();
    bool hasStrongChange();
    double getMeanColorCount();
    double getMinActivity();

    std::vector<Frame> frames; // oldest first
    int32_t number = 0;
    // Frames it held when its decoding finished.
    int32_t length = 0;
    int32_t maxFrames = 25;
    bool minActivityComputed = false;
    bool variationComputed = false;
    bool colorCountComputed = false;
    double meanColorCount = 0.0;
    double minActivity = 0.0;
    double variation = 0.0;
    ComparisonList comparisonList;
    bool junk = false;
    bool classified = false;
    bool maxDifferenceComputed = false;
    double maxPairDifference = 0.0;
    // Set by shot-aware ranking only.
    ShotSpan shotSpan;
    // Where distances to fragments of the same memo are looked up and kept
    // (fragments made from stored descriptors); none by default.
    SegmentDistanceMemo* distanceMemo = nullptr;

private:
    // The memo both fragments use, if they have frames to be named by.
    static SegmentDistanceMemo* sharedMemo(const FrameBuffer* a, const FrameBuffer* b);
    // Every second frame's difference point, from the first, made when first
    // compared (and again if the frames changed since). Copies share it.
    const DifferenceRow& sampledRow() const;
    mutable std::shared_ptr<const DifferenceRow> row;
    mutable double rowFrom = -1.0; // the first frame's number when made
    // Set by keepOnlyComparison (rowFrom then names the first frame).
    int32_t comparedCount = 0;
};

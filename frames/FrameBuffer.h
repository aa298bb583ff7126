#pragma once

// Bounded first-in, first-out list of frames: the playback buffer between the
// decoding and visualization threads, and the fragment (with its measures).

#include "Frame.h"
#include "ShotBoundaries.h"

#include <cstdint>
#include <memory>

class QMutex;

constexpr int FRAME_TABLE_SIZE = 3000;
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
    const ComparisonEntry* begin() const { return entries ? entries.get() : kNone; }
    const ComparisonEntry* end() const { return begin() + COMPARISON_LIST_SIZE; }
    bool allocated() const { return entries != nullptr; }
    void release() { entries.reset(); }

private:
    static const ComparisonEntry kNone[COMPARISON_LIST_SIZE];
    std::unique_ptr<ComparisonEntry[]> entries;
};

// Frames by insertion position, as many entries as the buffer can hold (at
// most FRAME_TABLE_SIZE): a fragment's table is 25 entries, the playback
// buffer's 3000.
class FrameTable {
public:
    explicit FrameTable(int size) : entries(std::make_unique<Frame*[]>(size)), size(size) {}
    Frame*& operator[](int i) { return entries[i]; }
    Frame* operator[](int i) const { return entries[i]; }
    Frame** begin() const { return entries.get(); }
    Frame** end() const { return entries.get() + size; }
    int capacity() const { return size; }

private:
    std::unique_ptr<Frame*[]> entries;
    int size;
};

class FrameBuffer {
public:
    explicit FrameBuffer(int maxFrames);
    // Deletes the frames still held.
    ~FrameBuffer();
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    bool addFrame(Frame* frame);
    Frame* getFrame();
    void deleteAllFrames();

    // Segment measures.
    static double getComparison(const FrameBuffer* a, const FrameBuffer* b);
    bool setComparison(FrameBuffer* other, double value);
    static double segmentDistance(FrameBuffer* a, FrameBuffer* b);
    double getVariation();
    bool hasStrongChange();
    double getMeanColorCount();
    double getMinActivity();

    int32_t number = 0;
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
    QMutex* mutex = nullptr;
    int32_t count = 0;
    int32_t length = 0;
    FrameTable frameTable;
    int32_t maxFrames = 0;
    Frame* first = nullptr;
    Frame* last = nullptr;
    // What the held frames' pictures take (planar 4:2:0 at their size), so
    // that a buffer of pictures can be bounded in memory as well as in frames.
    int64_t pictureBytes = 0;
    // Set by shot-aware ranking only.
    ShotSpan shotSpan;

    static int64_t pictureBytesOf(const Frame* frame);
};

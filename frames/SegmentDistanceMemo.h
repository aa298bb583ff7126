#pragma once

// Distances between the fragments of one video, kept from one summary of it
// to the next: a distance depends only on the two fragments' frames, and
// within one video a fragment's first frame and its count name those. The
// summary map, drawn again at every change of weight or target, then spends
// its time on the tree, not on comparing the same pictures again. Used by one
// thread at a time; it stops keeping new distances once full.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

class FrameBuffer;

class SegmentDistanceMemo {
public:
    // About 64 bytes an entry: the default keeps under 70 MB.
    explicit SegmentDistanceMemo(size_t capacity = size_t{1} << 20) : capacity(capacity) {}

    std::optional<double> find(const FrameBuffer& a, const FrameBuffer& b) const;
    void keep(const FrameBuffer& a, const FrameBuffer& b, double distance);
    size_t size() const { return distances.size(); }

private:
    struct Key {
        int64_t firstA, firstB;
        int32_t countA, countB;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key& k) const;
    };
    static Key keyOf(const FrameBuffer& a, const FrameBuffer& b);

    size_t capacity;
    std::unordered_map<Key, double, KeyHash> distances;
};

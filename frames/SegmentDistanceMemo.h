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
#include <vector>

class FrameBuffer;

class SegmentDistanceMemo {
public:
    // 16 bytes a slot, a quarter of the slots kept free: the default holds
    // about 1.5 million distances in 32 MB.
    explicit SegmentDistanceMemo(size_t capacity = size_t{3} << 19) : capacity(capacity) {}

    std::optional<double> find(const FrameBuffer& a, const FrameBuffer& b) const;
    void keep(const FrameBuffer& a, const FrameBuffer& b, double distance);
    size_t size() const { return count; }

private:
    // The two fragments as one word, each as its first frame's number and
    // its frame count in half of it; none for a fragment beyond what a half
    // holds, which is not kept.
    static std::optional<uint64_t> pairOf(const FrameBuffer& a, const FrameBuffer& b);
    struct Slot {
        uint64_t pair = kEmpty;
        double distance = 0.0;
    };
    static constexpr uint64_t kEmpty = ~uint64_t{0};
    // The slot of the pair, or the free slot where it would go.
    size_t slotOf(uint64_t pair) const;
    void grow();

    size_t capacity;
    size_t count = 0;
    // A power of two in size, or empty.
    std::vector<Slot> table;
};

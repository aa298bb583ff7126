#include "SegmentDistanceMemo.h"

#include "FrameBuffer.h"

#include <cmath>

namespace {
// 67 million frames (more than a month at 25 a second) and up to 62 frames
// a fragment; a count of 63 would let a pair's word be kEmpty.
constexpr int kCountBits = 6;
constexpr int kFirstBits = 32 - kCountBits;
constexpr size_t kFirstSlots = 4096;
} // namespace

std::optional<uint64_t> SegmentDistanceMemo::pairOf(const FrameBuffer& a, const FrameBuffer& b) {
    const auto nameOf = [](const FrameBuffer& fragment) -> std::optional<uint64_t> {
        const long long first = std::llround(fragment.firstFrameNumber());
        const int32_t frames = fragment.comparedFrames();
        if (first < 0 || first >= (1LL << kFirstBits) || frames < 0 ||
            frames >= (1 << kCountBits) - 1)
            return std::nullopt;
        return static_cast<uint64_t>(first) << kCountBits | static_cast<uint64_t>(frames);
    };
    const std::optional<uint64_t> nameA = nameOf(a), nameB = nameOf(b);
    if (!nameA || !nameB)
        return std::nullopt;
    return *nameA << 32 | *nameB;
}

size_t SegmentDistanceMemo::slotOf(uint64_t pair) const {
    uint64_t h = pair * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    const size_t mask = table.size() - 1;
    size_t i = static_cast<size_t>(h) & mask;
    while (table[i].pair != kEmpty && table[i].pair != pair)
        i = (i + 1) & mask;
    return i;
}

void SegmentDistanceMemo::grow() {
    std::vector<Slot> old(table.empty() ? kFirstSlots : 2 * table.size());
    old.swap(table);
    for (const Slot& slot : old)
        if (slot.pair != kEmpty)
            table[slotOf(slot.pair)] = slot;
}

std::optional<double> SegmentDistanceMemo::find(const FrameBuffer& a, const FrameBuffer& b) const {
    const std::optional<uint64_t> pair = pairOf(a, b);
    if (table.empty() || !pair)
        return std::nullopt;
    const Slot& slot = table[slotOf(*pair)];
    if (slot.pair == kEmpty)
        return std::nullopt;
    return slot.distance;
}

void SegmentDistanceMemo::keep(const FrameBuffer& a, const FrameBuffer& b, double distance) {
    const std::optional<uint64_t> pair = pairOf(a, b);
    if (count >= capacity || !pair)
        return;
    // At most three quarters of the table in use, so that a search ends soon.
    if (4 * (count + 1) > 3 * table.size())
        grow();
    Slot& slot = table[slotOf(*pair)];
    if (slot.pair != kEmpty)
        return;
    slot = {*pair, distance};
    ++count;
}

#include "SegmentDistanceMemo.h"

#include "FrameBuffer.h"

#include <cmath>

namespace {
constexpr int kCountBits = 24;
constexpr int kFirstBits = 64 - kCountBits - 1; // the top bit stays clear: never kEmpty
constexpr size_t kFirstSlots = 4096;
} // namespace

std::optional<uint64_t> SegmentDistanceMemo::nameOf(const FrameBuffer& fragment) {
    const long long first = std::llround(fragment.first().frameNumber);
    const int32_t frames = fragment.count();
    if (first < 0 || first >= (1LL << kFirstBits) || frames < 0 || frames >= (1 << kCountBits))
        return std::nullopt;
    return static_cast<uint64_t>(first) << kCountBits | static_cast<uint64_t>(frames);
}

size_t SegmentDistanceMemo::slotOf(uint64_t a, uint64_t b) const {
    uint64_t h = a * 0x9E3779B97F4A7C15ull;
    h ^= b + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
    h ^= h >> 29;
    const size_t mask = table.size() - 1;
    size_t i = static_cast<size_t>(h) & mask;
    while (table[i].a != kEmpty && (table[i].a != a || table[i].b != b))
        i = (i + 1) & mask;
    return i;
}

void SegmentDistanceMemo::grow() {
    std::vector<Slot> old(table.empty() ? kFirstSlots : 2 * table.size());
    old.swap(table);
    for (const Slot& slot : old)
        if (slot.a != kEmpty)
            table[slotOf(slot.a, slot.b)] = slot;
}

std::optional<double> SegmentDistanceMemo::find(const FrameBuffer& a, const FrameBuffer& b) const {
    const std::optional<uint64_t> nameA = nameOf(a), nameB = nameOf(b);
    if (table.empty() || !nameA || !nameB)
        return std::nullopt;
    const Slot& slot = table[slotOf(*nameA, *nameB)];
    if (slot.a == kEmpty)
        return std::nullopt;
    return slot.distance;
}

void SegmentDistanceMemo::keep(const FrameBuffer& a, const FrameBuffer& b, double distance) {
    const std::optional<uint64_t> nameA = nameOf(a), nameB = nameOf(b);
    if (count >= capacity || !nameA || !nameB)
        return;
    // At most three quarters of the table in use, so that a search ends soon.
    if (4 * (count + 1) > 3 * table.size())
        grow();
    Slot& slot = table[slotOf(*nameA, *nameB)];
    if (slot.a != kEmpty)
        return;
    slot = {*nameA, *nameB, distance};
    ++count;
}

#include "SegmentDistanceMemo.h"

#include "FrameBuffer.h"

#include <cmath>

size_t SegmentDistanceMemo::KeyHash::operator()(const Key& k) const {
    uint64_t h = static_cast<uint64_t>(k.firstA) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(k.firstB) + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
    h ^= (static_cast<uint64_t>(k.countA) << 32 | static_cast<uint32_t>(k.countB)) + (h << 6) +
         (h >> 2);
    return static_cast<size_t>(h);
}

SegmentDistanceMemo::Key SegmentDistanceMemo::keyOf(const FrameBuffer& a, const FrameBuffer& b) {
    return {std::llround(a.first().frameNumber), std::llround(b.first().frameNumber), a.count(),
            b.count()};
}

std::optional<double> SegmentDistanceMemo::find(const FrameBuffer& a, const FrameBuffer& b) const {
    const auto found = distances.find(keyOf(a, b));
    if (found == distances.end())
        return std::nullopt;
    return found->second;
}

void SegmentDistanceMemo::keep(const FrameBuffer& a, const FrameBuffer& b, double distance) {
    if (distances.size() < capacity)
        distances.emplace(keyOf(a, b), distance);
}

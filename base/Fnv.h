#pragma once

// FNV-1a, 64 bits: a fast digest for spotting change or damage, not for
// security.

#include <cstddef>
#include <cstdint>

constexpr uint64_t kFnvStart = 14695981039346656037ull;

inline uint64_t fnv1a(uint64_t hash, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

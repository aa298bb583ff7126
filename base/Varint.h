#pragma once

// Whole numbers as little-endian base-128 varints (seven bits a byte, the
// high bit set on every byte but the last), and signed ones zigzagged first
// so that small magnitudes of either sign stay short.

#include <cstdint>
#include <string>

inline void putVarint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

// Reads one varint from [*data, end) and moves *data past it; false when the
// bytes end first or it runs past 64 bits.
inline bool getVarint(const uint8_t** data, const uint8_t* end, uint64_t* value) {
    uint64_t result = 0;
    for (int shift = 0; shift < 64 && *data < end; shift += 7) {
        const uint8_t byte = *(*data)++;
        result |= static_cast<uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) {
            *value = result;
            return true;
        }
    }
    return false;
}

inline uint64_t zigzag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

inline int64_t unzigzag(uint64_t value) {
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

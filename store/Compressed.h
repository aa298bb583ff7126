#pragma once

// zstd as the store keeps its blobs: with zstd's checksum, so that damage is
// found when a blob is read back.

#include <cstddef>
#include <string>

// The bytes compressed; empty when zstd fails.
std::string compressChecked(const std::string& bytes, int level);
// The bytes back into *raw; false when the blob is damaged, not zstd's, or
// would hold more than `largest` bytes.
bool decompressChecked(const std::string& compressed, size_t largest, std::string* raw);

#pragma once

// The store's readers run on bytes: a chunk of frames (as stored, and as its
// contents compressed afresh, so that the bytes reach the reader past zstd's
// checksum), a thumbnail blob, one descriptors encoding, and a whole
// descriptor file (as written, and with its checksum made to fit).

#include <cstddef>
#include <cstdint>

struct StoreRun {
    int chunkFrames = -1; // frames read from the chunk; -1 when it was refused
    int thumbnails = 0;   // thumbnails found in the blob
    bool descriptors = false;
};

StoreRun runStoreHarness(const uint8_t* data, size_t size);

struct DescriptorFileRun {
    bool decoded = false;  // the bytes as they are
    bool refitted = false; // with the checksum made to fit
    int64_t frames = 0;    // read back through the fragments
};

DescriptorFileRun runDescriptorFileHarness(const uint8_t* data, size_t size);

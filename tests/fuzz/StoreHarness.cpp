#include "StoreHarness.h"

#include "Compressed.h"

#include "DescriptorFile.h"
#include "DescriptorStore.h"
#include "Descriptors.h"
#include "Fnv.h"
#include "FrameChunk.h"
#include "StoredFragments.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// The first byte picks the reader, the next two a frame count or an index;
// the rest is the reader's input.
enum Mode : uint8_t { StoredChunkBytes, ChunkContents, ThumbnailBlob, OneDescriptors, Modes };

int readChunk(const std::string& compressed, int frames) {
    FrameChunkReader reader;
    if (!reader.open(compressed, frames))
        return -1;
    Frame frame;
    int read = 0;
    while (reader.next(&frame))
        ++read;
    return read;
}

std::string compressed(const std::string& contents) {
    return compressChecked(contents, 3);
}

int countThumbnails(const std::string& blob, size_t upTo) {
    int found = 0;
    for (size_t i = 0; i < upTo; ++i)
        found += !unpackThumbnail(blob, i).empty();
    return found;
}

int64_t readFragments(PortableAnalysis& analysis) {
    for (const StoredChunk& chunk : analysis.chunks)
        countThumbnails(chunk.thumbnails, DescriptorStore::fragmentsPerChunk);
    auto source = StoredFragments::fromChunks(std::move(analysis.chunks), analysis.frameRate);
    int64_t frames = 0;
    if (source)
        while (const auto fragment = source->nextFragment())
            frames += fragment->count();
    return frames;
}

} // namespace

StoreRun runStoreHarness(const uint8_t* data, size_t size) {
    StoreRun run;
    if (size < 3)
        return run;
    const int parameter = data[1] | data[2] << 8;
    const std::string input(reinterpret_cast<const char*>(data) + 3, size - 3);
    switch (data[0] % Modes) {
    case StoredChunkBytes:
        run.chunkFrames = readChunk(input, parameter);
        break;
    case ChunkContents:
        run.chunkFrames = readChunk(compressed(input), parameter);
        break;
    case ThumbnailBlob:
        run.thumbnails = countThumbnails(input, std::min(parameter, 300));
        break;
    default: {
        Descriptors descriptors;
        const auto* at = data + 3;
        run.descriptors = Descriptors::decode(&at, data + size, &descriptors);
    }
    }
    return run;
}

DescriptorFileRun runDescriptorFileHarness(const uint8_t* data, size_t size) {
    DescriptorFileRun run;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    PortableAnalysis analysis;
    run.decoded = decodeDescriptorFile(bytes, &analysis) == DescriptorFileCheck::Ok;
    if (run.decoded)
        run.frames = readFragments(analysis);
    // Past the checksum: magic, version, then the digest of the rest.
    constexpr size_t kDigestAt = 12, kBodyAt = 20;
    if (bytes.size() < kBodyAt)
        return run;
    const uint64_t digest = fnv1a(kFnvStart, bytes.data() + kBodyAt, bytes.size() - kBodyAt);
    for (size_t i = 0; i < 8; ++i)
        bytes[kDigestAt + i] = static_cast<char>(digest >> (8 * i));
    PortableAnalysis refitted;
    run.refitted = decodeDescriptorFile(bytes, &refitted) == DescriptorFileCheck::Ok;
    if (run.refitted && !run.decoded)
        run.frames = readFragments(refitted);
    return run;
}

#include "VideoKey.h"

#include "Descriptors.h"
#include "FragmentSource.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Blocks sampled along the file: its start and end hold the container's
// headers and index, the rest spreads over the pictures.
constexpr int kBlocks = 16;
constexpr long long kBlockBytes = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// FNV-1a, 64 bits.
uint64_t digest(uint64_t hash, const unsigned char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace

VideoKey videoKey(const std::string& path, const ReaderOptions& options) {
    VideoKey key;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return key;
    const long long size = std::ftell(file.get());
    if (size < 0)
        return key;

    uint64_t hash = 14695981039346656037ull;
    std::vector<unsigned char> block(kBlockBytes);
    const long long span = size > kBlockBytes ? size - kBlockBytes : 0;
    for (int i = 0; i < kBlocks; ++i) {
        const long long offset = span * i / (kBlocks - 1);
        if (std::fseek(file.get(), offset, SEEK_SET) != 0)
            return key;
        const size_t wanted = static_cast<size_t>(std::min(kBlockBytes, size - offset));
        if (std::fread(block.data(), 1, wanted, file.get()) != wanted)
            return key;
        hash = digest(hash, block.data(), wanted);
    }

    char text[160];
    std::snprintf(text, sizeof text, "%lld-%016llx", size, static_cast<unsigned long long>(hash));
    key.content = text;
    // Decoder threads change the pictures' timestamps; the libraries' versions
    // may change the pictures themselves.
    std::snprintf(
        text, sizeof text, "threads=%d audio=%d fragment=%d descriptors=%d lavc=%u lavf=%u sws=%u",
        options.decoderThreads, options.audio ? 1 : 0, FragmentSource::fragmentCapacity,
        Descriptors::ENCODING_VERSION, avcodec_version(), avformat_version(), swscale_version());
    key.analysis = text;
    return key;
}

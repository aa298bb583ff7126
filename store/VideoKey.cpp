#include "VideoKey.h"

#include "Descriptors.h"
#include "Fnv.h"
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

} // namespace

VideoKey videoKey(const std::string& path, const ReaderOptions& options) {
    VideoKey key;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return key;
    const long long size = std::ftell(file.get());
    if (size < 0)
        return key;

    uint64_t hash = kFnvStart;
    std::vector<unsigned char> block(kBlockBytes);
    const long long span = size > kBlockBytes ? size - kBlockBytes : 0;
    for (int i = 0; i < kBlocks; ++i) {
        const long long offset = span * i / (kBlocks - 1);
        if (std::fseek(file.get(), offset, SEEK_SET) != 0)
            return key;
        const size_t wanted = static_cast<size_t>(std::min(kBlockBytes, size - offset));
        if (std::fread(block.data(), 1, wanted, file.get()) != wanted)
            return key;
        hash = fnv1a(hash, block.data(), wanted);
    }

    char text[160];
    std::snprintf(text, sizeof text, "%lld-%016llx", size, static_cast<unsigned long long>(hash));
    key.content = text;
    // Decoder threads change the pictures' timestamps in some FFmpeg versions.
    key.analysis =
        "threads=" + std::to_string(options.decoderThreads) + " " + portableAnalysis(options);
    return key;
}

std::string portableAnalysis(const ReaderOptions& options) {
    // The libraries' versions may change the pictures themselves.
    char text[160];
    std::snprintf(text, sizeof text, "audio=%d fragment=%d descriptors=%d slates=1 lavc=%u lavf=%u sws=%u",
                  options.audio ? 1 : 0, FragmentSource::fragmentCapacity,
                  Descriptors::ENCODING_VERSION, avcodec_version(), avformat_version(),
                  swscale_version());
    return text;
}

#include "Compressed.h"

#include <zstd.h>

#include <memory>

namespace {

struct CompressFree {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

} // namespace

std::string compressChecked(const std::string& bytes, int level) {
    std::string compressed(ZSTD_compressBound(bytes.size()), '\0');
    const std::unique_ptr<ZSTD_CCtx, CompressFree> context(ZSTD_createCCtx());
    size_t size = 0;
    if (context) {
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level);
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
        size = ZSTD_compress2(context.get(), compressed.data(), compressed.size(), bytes.data(),
                              bytes.size());
    }
    compressed.resize(context && !ZSTD_isError(size) ? size : 0);
    return compressed;
}

bool decompressChecked(const std::string& compressed, size_t largest, std::string* raw) {
    const unsigned long long size = ZSTD_getFrameContentSize(compressed.data(), compressed.size());
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN || size > largest)
        return false;
    raw->resize(size);
    const size_t made = ZSTD_decompress(raw->data(), raw->size(), compressed.data(), compressed.size());
    return !ZSTD_isError(made) && made == size;
}

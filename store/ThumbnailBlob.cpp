// The thumbnails of a chunk's fragments in one blob (see DescriptorStore.h).

#include "DescriptorStore.h"

#include "Varint.h"

std::string packThumbnails(const std::vector<std::string>& thumbnails) {
    std::string blob;
    putVarint(blob, thumbnails.size());
    for (const std::string& jpeg : thumbnails) {
        putVarint(blob, jpeg.size());
        blob += jpeg;
    }
    return blob;
}

std::string unpackThumbnail(const std::string& blob, size_t index) {
    const auto* at = reinterpret_cast<const uint8_t*>(blob.data());
    const uint8_t* const end = at + blob.size();
    uint64_t count = 0;
    if (!getVarint(&at, end, &count) || index >= count)
        return {};
    for (size_t i = 0;; ++i) {
        uint64_t size = 0;
        if (!getVarint(&at, end, &size) || size > static_cast<uint64_t>(end - at))
            return {};
        if (i == index)
            return std::string(reinterpret_cast<const char*>(at), size);
        at += size;
    }
}

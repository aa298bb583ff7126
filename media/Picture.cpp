#include "Picture.h"

#include "EngineFailure.h"

#include <iterator>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

namespace {
constexpr const char* kRecordAllocError = "\nERROR alloc_picture: avcodec_alloc_frame";
constexpr const char* kBufferAllocError = "\nERROR en alloc_picture: avcodec_alloc_frame";
// Running out of memory is a failure: the caller's shell must see it as one.
constexpr int kOutOfMemoryStatus = 1;

// Pictures come and go at the frame rate, all of one size. Keeping the
// buffers of freed pictures for the next ones spares the system mapping and
// clearing fresh pages for every frame, which otherwise costs as much as
// copying and describing the picture. AddressSanitizer builds keep nothing,
// so that a picture used after its release is still caught.
class BufferPool {
public:
    uint8_t* take(int format, int width, int height) {
        const std::lock_guard<std::mutex> lock(mutex);
        // The most recently released buffer first: the likeliest still in cache.
        for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
            if (it->format == format && it->width == width && it->height == height) {
                uint8_t* buffer = it->buffer;
                bytes -= it->size;
                kept.erase(std::next(it).base());
                return buffer;
            }
        }
        return nullptr;
    }

    // False when the buffer is not kept: the caller frees it.
    bool give(uint8_t* buffer, int format, int width, int height, size_t size) {
#if defined(__SANITIZE_ADDRESS__)
        (void)buffer, (void)format, (void)width, (void)height, (void)size;
        return false;
#else
        const std::lock_guard<std::mutex> lock(mutex);
        if (kept.size() >= kMaxBuffers || bytes + size > kMaxBytes)
            return false;
        kept.push_back({buffer, format, width, height, size});
        bytes += size;
        return true;
#endif
    }

private:
    // Enough for a fragment of 25 pictures up to 1080p.
    static constexpr size_t kMaxBuffers = 32;
    static constexpr size_t kMaxBytes = 128u << 20;

    struct Kept {
        uint8_t* buffer;
        int format;
        int width;
        int height;
        size_t size;
    };
    std::mutex mutex;
    std::vector<Kept> kept;
    size_t bytes = 0;
};

// Never destroyed: worker threads may still release pictures while the
// process exits.
BufferPool& bufferPool() {
    static BufferPool* pool = new BufferPool;
    return *pool;
}
} // namespace

AVFrame* alloc_picture(int pixelFormat, int width, int height) {
    AVFrame* picture = av_frame_alloc();
    if (picture == nullptr)
        throw EngineFailure(kRecordAllocError, kOutOfMemoryStatus);

    const auto format = static_cast<AVPixelFormat>(pixelFormat);
    const int size = av_image_get_buffer_size(format, width, height, 1);
    uint8_t* buffer = size > 0 ? bufferPool().take(pixelFormat, width, height) : nullptr;
    if (buffer == nullptr && size > 0)
        buffer = static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size)));
    if (buffer == nullptr) {
        av_frame_free(&picture);
        throw EngineFailure(kBufferAllocError, kOutOfMemoryStatus);
    }
    av_image_fill_arrays(picture->data, picture->linesize, buffer, format, width, height, 1);
    picture->format = pixelFormat;
    picture->width = width;
    picture->height = height;
    return picture;
}

AVFrame* ref_picture(const AVFrame* source) {
    AVFrame* picture = av_frame_alloc();
    if (picture != nullptr && av_frame_ref(picture, source) < 0)
        av_frame_free(&picture);
    return picture;
}

AVFrame* own_picture(const AVFrame* picture, int width, int height) {
    const bool shareable = picture->buf[0] != nullptr && width % 2 == 0 &&
                           picture->width == width && picture->height == height &&
                           picture->linesize[0] == 2 * picture->linesize[1] &&
                           picture->linesize[1] == picture->linesize[2];
    if (shareable)
        if (AVFrame* shared = ref_picture(picture))
            return shared;
    AVFrame* copy = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
    av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(picture->data),
                  picture->linesize, AV_PIX_FMT_YUV420P, width, height);
    return copy;
}

void free_picture(AVFrame* picture) {
    if (picture == nullptr)
        return;
    // A shared picture: its buffers go back to whoever made them.
    if (picture->buf[0] != nullptr) {
        av_frame_free(&picture);
        return;
    }
    const int size = av_image_get_buffer_size(static_cast<AVPixelFormat>(picture->format),
                                              picture->width, picture->height, 1);
    if (size <= 0 || picture->data[0] == nullptr ||
        !bufferPool().give(picture->data[0], picture->format, picture->width, picture->height,
                           static_cast<size_t>(size)))
        av_free(picture->data[0]);
    av_frame_free(&picture);
}

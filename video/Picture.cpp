#include "Picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

namespace {
constexpr const char* kRecordAllocError = "\nERROR alloc_picture: avcodec_alloc_frame";
constexpr const char* kBufferAllocError = "\nERROR en alloc_picture: avcodec_alloc_frame";

[[noreturn]] void failAllocation(const char* message) {
    std::printf("%s", message);
    std::fflush(stdout);
    // Running out of memory is a failure: the caller's shell must see it as one.
    std::exit(1);
}
} // namespace

AVFrame* alloc_picture(int pixelFormat, int width, int height) {
    AVFrame* picture = av_frame_alloc();
    if (picture == nullptr)
        failAllocation(kRecordAllocError);

    const auto format = static_cast<AVPixelFormat>(pixelFormat);
    const int size = av_image_get_buffer_size(format, width, height, 1);
    auto* buffer = size > 0 ? static_cast<uint8_t*>(av_malloc(static_cast<size_t>(size))) : nullptr;
    if (buffer == nullptr) {
        av_frame_free(&picture);
        failAllocation(kBufferAllocError);
    }
    av_image_fill_arrays(picture->data, picture->linesize, buffer, format, width, height, 1);
    picture->format = pixelFormat;
    picture->width = width;
    picture->height = height;
    return picture;
}

void free_picture(AVFrame* picture) {
    if (picture == nullptr)
        return;
    av_free(picture->data[0]);
    av_frame_free(&picture);
}

bool copy_picture(AVFrame* destination, int rows, const AVFrame* source) {
    const int chromaRows = static_cast<int>((rows + 1) * 0.5);
    const int lumaBytes = std::min(destination->linesize[0], source->linesize[0]);
    const int chromaBytes = std::min(destination->linesize[1], source->linesize[1]);
    for (int i = 0; i < rows; ++i) {
        std::memcpy(destination->data[0] + i * destination->linesize[0],
                    source->data[0] + i * source->linesize[0], lumaBytes);
        if (i < chromaRows) {
            std::memcpy(destination->data[1] + i * destination->linesize[1],
                        source->data[1] + i * source->linesize[1], chromaBytes);
            std::memcpy(destination->data[2] + i * destination->linesize[2],
                        source->data[2] + i * source->linesize[2], chromaBytes);
        }
    }
    return true;
}

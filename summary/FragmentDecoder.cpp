#include "FragmentDecoder.h"

#include "Picture.h"

#include <utility>

extern "C" {
#include <libavutil/imgutils.h>
}

FragmentDecoder::FragmentDecoder(const char* path) : reader(std::make_unique<VideoReader>(path)) {}

FragmentDecoder::FragmentDecoder(std::unique_ptr<VideoReader> reader) : reader(std::move(reader)) {}

FrameBuffer* FragmentDecoder::decodeFragment() {
    fragment = new FrameBuffer(fragmentCapacity);
    int width = 0;
    int height = 0;
    reader->getVideoSize(&width, &height);

    bool ended = false;
    Frame* previous = nullptr;
    while (fragment->count < fragmentCapacity) {
        AVFrame* picture = nullptr;
        int16_t* samples = nullptr;
        int value = 0;
        int count = 0;
        if (!reader->getNextFrame(&picture, &samples, &value, &count)) {
            ended = true;
            break;
        }
        // The reader reuses its picture for the next decode: keep a copy.
        AVFrame* copy = alloc_picture(AV_PIX_FMT_YUV420P, width, height);
        av_image_copy(copy->data, copy->linesize, const_cast<const uint8_t**>(picture->data),
                      picture->linesize, AV_PIX_FMT_YUV420P, width, height);
        auto* frame = new Frame();
        frame->width = width;
        frame->height = height;
        frame->setAVFrame(copy);
        frame->frameNumber =
            static_cast<double>(static_cast<uint32_t>(reader->timestampToFrame(picture->pts)));
        frame->frameTime = reader->timestampToSeconds(picture->pts);

        // Histograms now, while the pictures are at hand; later comparisons
        // and the switch to histogram mode need only the descriptors.
        if (previous != nullptr) {
            frame->computeHistogram();
            previous->computeHistogram();
        }
        fragment->addFrame(frame);
        previous = frame;
    }

    if (fragment->count <= 1 && ended) {
        fragment->deleteAllFrames();
        delete fragment;
        fragment = nullptr;
        return nullptr;
    }
    fragment->length = fragment->count;
    fragment->variation = 0.0;
    fragment->variationComputed = false;
    return fragment;
}

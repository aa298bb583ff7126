#pragma once

// Reads the video in fragments: runs of up to 25 consecutive frames, each in
// a FrameBuffer of its own, with their colour histograms already computed.

#include "FrameBuffer.h"
#include "VideoReader.h"

#include <memory>

class FragmentDecoder {
public:
    static constexpr int fragmentCapacity = 25;

    explicit FragmentDecoder(const char* path);
    explicit FragmentDecoder(std::unique_ptr<VideoReader> reader);
    FragmentDecoder(const FragmentDecoder&) = delete;
    FragmentDecoder& operator=(const FragmentDecoder&) = delete;

    // The next fragment, owned by the caller (deleteAllFrames, then delete),
    // or null at the end of the video. A last fragment of a single frame is
    // dropped.
    FrameBuffer* decodeFragment();

    FrameBuffer* fragment = nullptr; // the last one made; the caller owns it
    std::unique_ptr<VideoReader> reader;
};

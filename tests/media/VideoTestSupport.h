#pragma once

#include "VideoReader.h"

#include <cstdint>
#include <vector>

struct DecodedPicture {
    int64_t timestamp = 0;
    bool keyFrame = false;
    uint64_t checksum = 0;
};

// Decodes every remaining picture, asking for the audio as the fragment
// decoder does; every picture must be planar YUV 4:2:0 at the stream's size.
std::vector<DecodedPicture> decodeAll(VideoReader& reader);

// Checksum of a planar YUV 4:2:0 picture's visible samples.
uint64_t pictureChecksum(const AVFrame* picture, int width, int height);

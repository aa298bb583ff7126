#pragma once

#include "VideoReader.h"

#include <cstdint>
#include <string>
#include <vector>

// What a whole decode through getNextFrame delivered.
struct DecodedPicture {
    int64_t timestamp = 0;
    bool keyFrame = false;
    uint64_t checksum = 0; // of the three planes, row by row within the width
};

// Decodes every remaining picture, asking for the audio as the fragment
// decoder does.
std::vector<DecodedPicture> decodeAll(VideoReader& reader);

// Checksum of a planar YUV 4:2:0 picture's visible samples.
uint64_t pictureChecksum(const AVFrame* picture, int width, int height);

// Console text captured around a call; stdout is flushed first.
struct Console {
    std::string out;
    std::string err;
};
template <typename F> Console captureConsole(F&& body);

#include <cstdio>
#include <gtest/gtest.h>

template <typename F> Console captureConsole(F&& body) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    body();
    std::fflush(stdout);
    Console console;
    console.err = testing::internal::GetCapturedStderr();
    console.out = testing::internal::GetCapturedStdout();
    return console;
}

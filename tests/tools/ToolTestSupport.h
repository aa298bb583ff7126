#pragma once

// Shared by the tessaro-summarize tests: synthetic pictures, reading back
// what the tool wrote, and running the program itself.

#include "ChildProcess.h"
#include "TestPictures.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A fresh, empty directory for one test's files.
std::string scratchDirectory(const std::string& name);
size_t fileCount(const std::string& directory);
// Text split at line ends, without them.
std::vector<std::string> lines(const std::string& text);

using PicturePtr = OwnedPicture;

// What a written file holds, its first video and audio streams decoded.
struct StreamInfo {
    int videoStreams = 0;
    int audioStreams = 0;
    std::string videoCodec;
    std::string audioCodec;
    int width = 0;
    int height = 0;
    double frameRate = 0.0;
    double duration = 0.0; // of the container, seconds
    double audioDuration = 0.0;
    int64_t videoFrames = 0;
    bool timestampsContinuous = true;  // video pts rise one frame at a time
    double sounding = 0.0;             // share of audio samples not near silence
    std::vector<double> chapterStarts; // seconds
    std::vector<double> chapterEnds;
};
StreamInfo inspectMedia(const std::string& path);

// A PNG decoded to RGB24 rows.
struct DecodedPng {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* pixel(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};
DecodedPng decodePng(const std::string& path);

// tessaro-summarize with the arguments, standard input closed.
ChildRun runProgram(const std::vector<std::string>& arguments);

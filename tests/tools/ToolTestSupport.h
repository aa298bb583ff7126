#pragma once

// Shared by the tessaro-summarize tests: the demo video, synthetic pictures,
// reading back what the tool wrote, and running the program itself.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

// The demo video: one minute, six scenes, 640x360, H.264 + AAC.
std::string demoVideo();

// A fresh, empty directory for one test's files.
std::string scratchDirectory(const std::string& testName);

struct PictureDeleter {
    void operator()(AVFrame* f) const;
};
using PicturePtr = std::unique_ptr<AVFrame, PictureDeleter>;
// A planar YUV 4:2:0 picture filled with one colour.
PicturePtr solidPicture(int width, int height, uint8_t y, uint8_t u, uint8_t v);

// What libavformat reports of a written file.
struct StreamInfo {
    bool opened = false;
    std::string formatName;
    double duration = 0.0; // container duration, seconds
    int videoStreams = 0;
    int audioStreams = 0;
    std::string videoCodec;
    std::string audioCodec;
    int width = 0;
    int height = 0;
    double frameRate = 0.0;
    int64_t videoFrames = 0; // decoded pictures
    double audioDuration = 0.0;
    double videoDuration = 0.0;
    bool timestampsContinuous = true; // video pts rise one frame at a time
};
StreamInfo inspectMedia(const std::string& path, bool decodeVideo);

// A PNG decoded to RGB24 rows.
struct DecodedPng {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // width * 3 bytes a row
    const uint8_t* pixel(int x, int y) const {
        return &rgb[(static_cast<size_t>(y) * width + x) * 3];
    }
};
DecodedPng decodePng(const std::string& path);

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs tessaro-summarize with the arguments, standard input closed, and
// standard output and error captured (neither a terminal).
ProgramRun runProgram(const std::vector<std::string>& arguments);

// The command line that runs tessaro-summarize with the arguments (the
// strings point into `arguments` and the program's path), null-terminated.
std::vector<char*> programArgv(const std::vector<std::string>& arguments);

// A whole file as bytes; empty when it cannot be read.
std::string readFile(const std::string& path);
// Text split at line ends, without them.
std::vector<std::string> lines(const std::string& text);

bool fileExists(const std::string& path);
std::vector<std::string> directoryEntries(const std::string& directory);

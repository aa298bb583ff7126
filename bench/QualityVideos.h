#pragma once

// The videos of the quality bench: shots from FFmpeg's test sources cut
// together, with black, colour bars, a flash and shots seen again. What every
// frame shows is known from how the video is made.

#include <string>
#include <vector>

// What a shot shows. The first six are content, each unlike the others to the
// summariser's descriptors and none of them junk to its filter; a shot of the
// same kind later in a video shows the very same frames again.
enum class Shot { Pattern, Fractal, Seahorse, Valley, Rings, Spiral, Black, Bars };

struct Scene {
    Shot shot;
    int frames;
    int flashAt = -1; // first of kFlashFrames white frames inside the scene
};

struct QualityVideo {
    const char* name;
    std::vector<Scene> scenes;
};

constexpr int kQualityFrameRate = 25;
constexpr int kFlashFrames = 3;

struct FrameTruth {
    int scene; // index into the video's scenes: it changes at every cut
    Shot shot;
    bool junk; // black, bars or a flash
};

// The bench's videos, longest first. Each but the last holds one second of
// black, one shot of colour bars and one flash.
const std::vector<QualityVideo>& qualityVideos();

// Frame by frame, in order.
std::vector<FrameTruth> frameTruth(const QualityVideo& video);

// The video as a file in folder, made there with ffmpeg unless a previous run
// made it already; empty, with the reason in *error, when it cannot be made.
std::string qualityVideoFile(const QualityVideo& video, const std::string& folder,
                             std::string* error);

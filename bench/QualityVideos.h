#pragma once

// The videos of the quality bench: shots from FFmpeg's test sources cut
// together as real footage is: grain on every picture, zooms, pans and moving
// objects, single-tone and dark scenes, flat-coloured animation, dissolves
// and fades, shots that come back, and junk among them (black, colour bars, a
// test card, noise, flashes). What every frame shows is known from how the
// video is made.

#include <string>
#include <vector>

// What a shot shows. A shot of the same kind later in a video shows the very
// same pictures again (under fresh grain).
enum class Shot {
    // Content with plenty of colour structure.
    Pattern,
    Fractal,
    Seahorse,
    Valley,
    Rings,
    Spiral,
    // Ordinary footage with little colour: a light wall with a small object
    // moving across it, a slow pan over a still picture, a dim interior, and
    // flat-coloured animation.
    Wall,
    Photo,
    Interior,
    Cartoon,
    // Junk.
    Black,
    Bars,
    Card,
    Noise,
};

bool isJunk(Shot shot);
bool isOrdinary(Shot shot);

struct Scene {
    Shot shot;
    int frames;
    int flashAt = -1; // first of kFlashFrames white frames inside the scene
    // The scene's first `dissolve` frames blend the scene before it (going
    // on) into this one; 0 is a hard cut.
    int dissolve = 0;
};

struct QualityVideo {
    const char* name;
    std::vector<Scene> scenes;
};

constexpr int kQualityFrameRate = 25;
constexpr int kFlashFrames = 3;

struct FrameTruth {
    // Index into the video's scenes: it changes at every cut, and halfway
    // through a dissolve.
    int scene;
    Shot shot;
    bool junk; // a junk shot or a flash
};

// The bench's videos, longest first.
const std::vector<QualityVideo>& qualityVideos();

// Frame by frame, in order.
std::vector<FrameTruth> frameTruth(const QualityVideo& video);

// The video as a file in folder, made there with ffmpeg unless a previous run
// made it already; empty, with the reason in *error, when it cannot be made.
std::string qualityVideoFile(const QualityVideo& video, const std::string& folder,
                             std::string* error);

// Runs a program to its end; true when it exited with status 0. Its standard
// output goes to outputPath when one is given.
bool runProgram(const std::vector<std::string>& command, const std::string& outputPath = {});

#pragma once

// The videos of the quality bench, and what every frame of them shows, known
// from how each is made. Two kinds: synthetic ones, shots from FFmpeg's test
// sources cut together as real footage is (QualityVideos.cpp), and ones made
// from the natural pictures and clips of opencv-doc's samples
// (SampleVideos.cpp): hard-cut collages, soft collages and rushes, in two
// halves of different pictures.

#include <string>
#include <vector>

constexpr int kQualityFrameRate = 25;
// Film grain, new on every picture, as a camera's sensor gives.
constexpr const char* kFilmGrain = ",format=yuv420p,noise=alls=4:allf=t";

// The kinds of video the bench scores apart.
enum class Group {
    Synthetic,
    Hard,   // shots of natural pictures and clips, hard cuts, junk between
    Soft,   // the same joined by dissolves, fades and wipes
    Rushes, // takes of scenes, each after a clapperboard slate
};

struct FrameTruth {
    // Index of the shot in its video: it changes at every cut, and halfway
    // through a transition.
    int shot;
    // What a viewer takes for the same thing: the same picture or clip seen
    // again, or in rushes every take of a scene. -1 for junk shots.
    int subject;
    bool junk;       // black, bars, a card, noise, a flash or a slate
    bool transition; // inside a dissolve, fade or wipe
    bool ordinary;   // ordinary footage of little colour (synthetic videos)
};

struct QualityVideo {
    std::string name;
    Group group;
    char half;         // 'A' (what the engine is tuned on) or 'B' (held out); 0 for synthetic
    std::string graph; // ffmpeg's filter graph, its output labelled [v]
    std::vector<FrameTruth> truth; // frame by frame, in order
};

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

struct Scene {
    Shot shot;
    int frames;
    int flashAt = -1; // first of kFlashFrames white frames inside the scene
    // The scene's first `dissolve` frames blend the scene before it (going
    // on) into this one; 0 is a hard cut.
    int dissolve = 0;
};

struct SyntheticVideo {
    const char* name;
    std::vector<Scene> scenes;
};

constexpr int kFlashFrames = 3;

// A synthetic video of these scenes.
QualityVideo syntheticVideo(const SyntheticVideo& recipe);
// The bench's synthetic videos, longest first.
std::vector<QualityVideo> syntheticVideos();

// The video as a file in folder, made there with ffmpeg unless a previous run
// made it already; empty, with the reason in *error, when it cannot be made.
std::string qualityVideoFile(const QualityVideo& video, const std::string& folder,
                             std::string* error);

// Runs a program to its end; true when it exited with status 0. Its standard
// output goes to outputPath when one is given.
bool runProgram(const std::vector<std::string>& command, const std::string& outputPath = {});

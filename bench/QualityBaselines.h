#pragma once

// What the quality bench holds Tessaro's summaries against: uniform skimming,
// a scene-change skim built on FFmpeg's own scene detector, and for talks
// auto-editor's jump cuts.

#include <string>
#include <vector>

constexpr int kBenchFragmentFrames = 25;

// Frames [first, first + frames) of a video, kept.
struct KeptFrames {
    int first;
    int frames;
};

// Evenly spaced whole fragments totalling the target.
std::vector<KeptFrames> uniformSkim(int totalFrames, double target);

// The frames at which FFmpeg's scdet filter (at its default threshold) finds
// a scene change in the video, and how many frames it read; remembered beside
// the video for the next run. False when ffmpeg fails.
bool sceneChanges(const std::string& videoPath, std::vector<int>* frames, int* pictures);

// The first whole fragment after the start and after each scene change, then
// evenly spaced fragments up to the target; when the changes alone give more
// than the target, an evenly spaced choice of them.
std::vector<KeptFrames> sceneChangeSkim(int totalFrames, double target,
                                        const std::vector<int>& changes);

// The frames that auto-editor (22w52a) keeps of the video at its default
// editing, which cuts out what is silent, from the JSON timeline it exports
// (--export json), at frameRate; remembered beside the video for the next
// run. False when auto-editor fails or its timeline cannot be read.
bool autoEditorCuts(const std::string& videoPath, int frameRate, std::vector<KeptFrames>* kept);

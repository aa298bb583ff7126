#pragma once

// The quality bench's videos of natural pictures and real clips: opencv-doc's
// samples filmed as a camera would (slow zooms and pans, a fast pan, a shaking
// hand, a change of light) under film grain, and cut together three ways:
// hard-cut collages with junk between shots, soft collages joined by
// dissolves, fades and wipes, and rushes, takes of scenes each after a
// clapperboard slate. Half A and half B use different pictures and clips.

#include "QualityVideos.h"

#include <string>
#include <vector>

// Where Debian's opencv-doc puts its samples.
extern const char* const kSampleFolder;

// A clip of the samples by name (pedestrians, tree, dinner, glasses): its
// file in kSampleFolder and its frames [first, end) at 25 a second.
struct SampleClip {
    const char* file;
    int first;
    int end;
};
SampleClip sampleClip(const std::string& name);

// The samples the videos are made of that this machine lacks.
std::vector<std::string> missingSamples();

// Half A's videos, then half B's.
std::vector<QualityVideo> sampleVideos();

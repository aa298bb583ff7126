#pragma once

// The quality bench's talks, and when every sentence in them is spoken and
// every picture shown. Each sentence is spoken alone by espeak-ng, so that
// its first and last samples above -50 dBFS are its start and end; the
// sentences are joined with pauses of 0.3-1.5 s and three silences of 3-8 s,
// in a reverberant hall or over music at -20 dB for some, under slides,
// stills and clips of opencv-doc's samples (TalkRecipes.cpp). Half A and half
// B have different sentences, voices and pictures.

#include <string>
#include <vector>

struct SpokenSentence {
    double start; // seconds, [start, end)
    double end;
    int speaker;
};

// A run of frames showing one picture; the same picture again has the same
// id.
struct TalkShot {
    double start;
    double end;
    int id;
};

struct TalkTruth {
    double duration = 0.0;
    int frameRate = 25;
    std::vector<SpokenSentence> sentences;
    std::vector<TalkShot> shots;
};

struct Talk {
    std::string name;
    char half;
    std::string path; // the video, H.264 and AAC in MP4
    TalkTruth truth;
    int frames() const { return static_cast<int>(truth.duration * truth.frameRate + 0.5); }
};

// Every talk, made in folder with espeak-ng, sox and ffmpeg unless an earlier
// run made it from the same recipe; false, with the reason in *error, when
// one cannot be made.
bool makeTalks(const std::string& folder, std::vector<Talk>* talks, std::string* error);

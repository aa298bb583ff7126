#pragma once

// A first look at the input before the engine opens it, so that a bad file
// gets one clear line and its own exit status, and so that the outputs know
// the source's frame rate, size and audio.

#include <string>

struct VideoProbe {
    bool ok = false;
    int exitStatus = 0; // an ExitStatus when !ok
    std::string error;  // one line when !ok

    int width = 0;
    int height = 0;
    int frameRateNum = 25;
    int frameRateDen = 1;
    // The average rate, and whether the pictures' rate varies: the frame
    // rate then is the quickest the stream runs at, not the one it keeps.
    int averageRateNum = 25;
    int averageRateDen = 1;
    bool variableRate = false;
    int sarNum = 1; // sample aspect ratio, 1:1 when unknown
    int sarDen = 1;
    double duration = 0.0; // seconds, 0 when unknown
    double start = 0.0;    // seconds on the video's clock of its first picture
    bool hasAudio = false; // an audio stream with a decoder
};

VideoProbe probeVideo(const std::string& path);

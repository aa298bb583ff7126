#pragma once

// tessaro-play-bench --sound-check: the player's sound against its pictures
// through a PulseAudio null sink, on a video with a 50 ms beep and a white
// frame at each whole second.

#include "SoundFigures.h"

#include <string>
#include <vector>

// The status CTest takes as a skipped test: no sound server can be had.
inline constexpr int kSkipped = 77;
inline constexpr int kInterrupted = 130;

struct SoundOptions {
    std::string file; // empty: a video the bench makes
    bool formats = false;
    std::string only;    // formats: a comma-separated list of the files' names; empty: all
    int playSeconds = 0; // 0: the mode's own
    int summarySeconds = 0;
    double speed = 1.0;
    enum class Check { None, Figures, Loose } check = Check::None;
};

// One run of the player: Play (with a pause of 1.5 s in the middle when
// asked), then a summary from the start at target 0.3.
struct SoundPlan {
    std::string file;
    int playSeconds = 20;
    int summarySeconds = 25;
    bool pause = true;
    double pitchAfter = 0.0;
    double speed = 1.0;
};

struct SoundResult {
    // What kept the run from being measured whole.
    enum class Failure { None, Video, Recording, Interrupted, Copy, Hung };
    bool measured = false;
    Failure failure = Failure::None;
    int status = -1; // the player's; the copy's of the bench when it failed
    SoundFigures figures;
};

// Plays plan.file in the real player offscreen, recording the null sink of
// the bench's sound server (which must be open). For a process that has no
// QApplication yet (it makes one).
SoundResult measureSound(const SoundPlan& plan, int argc, char** argv);

// What the figures demand of every format, and where asked the rate of a
// variable-rate file and the pitch after a change of sample rate: the
// names of the figures missed, empty when all are met.
std::string missedFigures(const SoundResult& result, bool rate, bool pitch);
// The loose check: every kept beep heard, none in a pause, every flash
// within 250 ms of its beep. What a busy machine cannot spoil.
bool meetsLoosely(const SoundResult& result);

// A test video made with FFmpeg's sources: pictures with a white frame at
// each whole second, sound with a sample-exact 50 ms beep of 1 kHz at each
// whole second over a faint noise.
struct BeepVideo {
    double seconds = 16;
    int frameRate = 25;
    const char* size = "320x180";
    int sampleRate = 48000;
    const char* channels = "stereo";
    double soundDelay = 0.0; // the sound starts this late
    double soundEndsEarly = 0.0;
    std::string pictureFilter;       // after the flashes, e.g. to drop frames
    std::vector<std::string> output; // codecs and muxer options
};
// False when ffmpeg failed.
bool makeBeepVideo(const BeepVideo& video, const std::string& path);

// When no sound server can be had: says so, and gives the status
// (skipped, or interrupted).
int withoutSink();

int soundCheck(const SoundOptions& options, int argc, char** argv);
int soundFormats(const SoundOptions& options, int argc, char** argv);
